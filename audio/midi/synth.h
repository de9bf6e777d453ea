// The FluidSynth synthesiser behind the MIDI driver: synthesis only (no audio driver of its
// own), rendered into the mixer's buffer, and the SoundFont it plays.
#pragma once

#include "audio/midi/midi_file.h"

#include <cstdint>
#include <fluidsynth.h>
#include <string>

namespace wail::midi {

// Frames rendered per FluidSynth call; longer spans are cut into pieces of this size.
constexpr uint32_t kSynthChunk = 512;

// One FluidSynth instance at a fixed rate, with scratch buffers so rendering never allocates.
struct Synth {
  fluid_settings_t *settings;
  fluid_synth_t *synth;
  uint32_t rate;
  float left[kSynthChunk];
  float right[kSynthChunk];
};

// A synthesiser at `rate` frames per second playing the SoundFont at `soundfont`; nullptr
// (after one line on standard error) when FluidSynth cannot start or load it. Host thread.
Synth *synth_create(const std::string &soundfont, uint32_t rate);
void synth_destroy(Synth *synth);

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

// The SoundFont to play: KSND_SOUNDFONT, else FluidSynth's configured default, else the usual
// Debian locations; empty when none exists (one line on standard error, once). Also routes
// FluidSynth's log: errors become one line of ours, everything else goes nowhere.
std::string find_soundfont();

} // namespace wail::midi
