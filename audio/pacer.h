// The pacing thread behind the null and WAV outputs: renders blocks of the mix on a steady
// clock, as a sound card would pull them, and hands each to a sink.
#pragma once

#include <cstdint>

namespace wail {

// Receives each rendered block (interleaved stereo floats) on the pacing thread.
using BlockSink = void (*)(const float *mix, uint32_t frames);

// Starts rendering kBlockFrames frames every kBlockFrames / rate seconds. `sink` may be null.
void start_pacer(uint32_t rate, BlockSink sink);
// Stops and joins the thread; no block is rendered after it returns.
void stop_pacer();

} // namespace wail
