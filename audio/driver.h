// The digital driver: the one open output, its frame ring and mixer thread, and the voices
// allocated on it.
#pragma once

namespace wail {

// Stops the mixer thread and the output, frees every voice and the render path. After it
// returns no render runs and no callback is delivered. Library lock held.
void close_driver();

} // namespace wail
