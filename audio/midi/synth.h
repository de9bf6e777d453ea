// The synthesiser behind the MIDI driver. On Linux it is FluidSynth, synthesis only, rendered
// into the mixer's buffer (synth.cpp, soundfont.cpp); on Windows it is the system's MIDI port,
// which plays the events itself and adds nothing to the mix (synth_winmm.cpp).
#pragma once

#include "audio/midi/midi_file.h"

#include <cstdint>
#include <string>

namespace wail::midi {

// Frames rendered per synthesiser call; longer spans are cut into pieces of this size.
constexpr uint32_t kSynthChunk = 512;

// One synthesiser at a fixed rate; rendering never allocates.
struct Synth;

// The MIDI devices AIL_midiOutOpen accepts besides -1 (the mapper): 0 to count - 1, at least 1.
uint32_t synth_device_count();
// What a driver opened on `device` plays: the SoundFont, or the port's number on Windows; empty
// (after one line on standard error, once) when there is none and music plays silently.
std::string synth_source(int32_t device);

// A synthesiser at `rate` frames per second playing `source`; nullptr (after one line on
// standard error) when it cannot start. Host thread.
Synth *synth_create(const std::string &source, uint32_t rate);
void synth_destroy(Synth *synth);
uint32_t synth_rate(const Synth &synth) noexcept;

// Sends one channel message; the caller has already scaled controller 7.
void synth_send(Synth &synth, const Event &event) noexcept;
// Ends every note at once on all 16 channels, release tails included.
void synth_silence(Synth &synth) noexcept;
// Back to the power-on state: programs, controllers, drum channel.
void synth_reset(Synth &synth) noexcept;
// Adds `frames` stereo frames (at most kSynthChunk) into the interleaved `mix`; returns the
// largest magnitude among them.
float synth_render_add(Synth &synth, float *mix, uint32_t frames) noexcept;
// Adds the next `frames` stereo frames (at most kSynthChunk) into the interleaved `fade`, their
// gain falling linearly from 1 to 0 across them.
void synth_render_fade(Synth &synth, float *fade, uint32_t frames) noexcept;

} // namespace wail::midi
