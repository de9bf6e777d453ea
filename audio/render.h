// The one backend-free render path. The mixer thread (real-time outputs) and AIL_render_offline
// (offline) both call render_frames, holding the library lock, so real time and offline make
// the same sound: blocks are cut where a voice runs out, that voice's end-of-sample callback is
// delivered before the frames after it are rendered, and every frame passes the master stage.
#pragma once

#include "audio/voices.h"

#include <cstdint>

namespace wail {

// The longest block rendered between two looks at the voices (5 ms at 48000 Hz).
inline constexpr uint32_t kRenderBlock = 240;

// Prepares the path for an output at `rate`: the fade-tail pool and the master stage. False
// (with the last error set) when memory runs out.
bool open_render(uint32_t rate);
void close_render();

// Renders `frames` stereo frames of output (interleaved floats after the master stage) into
// `out`, delivering the callbacks of the voices that end within them in order. Returns the
// frames rendered: fewer than `frames` only when a callback closed the driver (the rest is
// silence) or when called from inside a render. Library lock held.
uint32_t render_frames(float *out, uint32_t frames);

// Starts the fade of a playing voice that stops or jumps; its handle is free at once.
void fade_out(const MixState &voice) noexcept;

} // namespace wail
