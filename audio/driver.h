// The digital driver: the one open output and the handles allocated on it.
#pragma once

namespace wail {

// Stops the open output and the service thread and frees every voice. After it returns no
// render runs and no callback is delivered. Library lock held.
void close_driver();

} // namespace wail
