// The pacing thread behind the null and WAV outputs: takes a period of frames out of the ring
// on a steady clock, as a sound card would pull them, and hands each to a sink.
#pragma once

#include "audio/ring.h"

#include <cstdint>

namespace wail {

// Frames the pacing thread takes per period (2.7 ms at 48000 Hz), as a device buffer would.
inline constexpr uint32_t kPacerPeriod = 128;

// Receives the frames of each period on the pacing thread; fewer than kPacerPeriod after an
// underrun (the sink gets only what the mixer rendered: no silence is made up).
using BlockSink = void (*)(const float *mix, uint32_t frames);

struct Pacer;

// Starts pulling from `ring` at `rate` frames per second; `sink` may be null. Null (with the
// last error set) when no thread can start.
Pacer *start_pacer(FrameRing &ring, uint32_t rate, BlockSink sink);
// Stops and joins the thread; nothing is pulled after it returns.
void stop_pacer(Pacer *pacer);

} // namespace wail
