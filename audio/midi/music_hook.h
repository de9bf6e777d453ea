// The boundary between the mixer and the MIDI side of the audio library: the mixer renders
// the tune into the same mix as the effects, so offline rendering covers music too.
#pragma once

#include <cstdint>

namespace wail::music {

// Adds `frames` stereo frames of the tune (interleaved floats, full scale 1.0) into `mix` at
// `rate` frames per second and advances the sequencer's clock by exactly `frames`. Called by the
// render path (the mixer thread, or the host's thread in offline mode); never allocates.
void render(float *mix, uint32_t frames, uint32_t rate) noexcept;

// Called by AIL_shutdown: stops the tune and releases the MIDI driver and its sequences.
void shutdown();

} // namespace wail::music
