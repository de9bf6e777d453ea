// FluidSynth as the MIDI driver's sound: creation at the mix rate, channel messages, silence
// and reset, and rendering added into the mix. The driver serialises every call with its own
// lock, so FluidSynth's internal locking is switched off. Reverb and chorus are off: a stopped
// or finished tune is silent at once, and the render stays cheap beside the effect voices.
#include "audio/midi/synth.h"

#include "audio/midi/soundfont.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fluidsynth.h>

namespace wail::midi {

// One FluidSynth instance at a fixed rate, with scratch buffers so rendering never allocates.
struct Synth {
  fluid_settings_t *settings;
  fluid_synth_t *synth;
  uint32_t rate;
  float left[kSynthChunk];
  float right[kSynthChunk];
};

namespace {

constexpr int kChannels = 16;
constexpr int kAllSoundOff = 120;
// FluidSynth's default gain (0.2) leaves a General MIDI tune far below the effects. At 1.8 a
// typical tune (drums, bass, chords and a melody at ordinary velocities) sits within a decibel
// of the RMS of typical effects played at volume 100; the master stage's limiter catches the
// peaks of denser ones.
constexpr double kGain = 1.8;

} // namespace

// Device -1 (the mapper) and device 0 are the same synthesiser.
uint32_t synth_device_count() { return 1; }

std::string synth_source(int32_t) { return find_soundfont(); }

Synth *synth_create(const std::string &soundfont, uint32_t rate) {
  fluid_settings_t *settings = new_fluid_settings();
  if (!settings) return nullptr;
  fluid_settings_setnum(settings, "synth.sample-rate", (double)rate);
  fluid_settings_setint(settings, "synth.threadsafe-api", 0);
  fluid_settings_setint(settings, "synth.cpu-cores", 1);
  fluid_settings_setint(settings, "synth.reverb.active", 0);
  fluid_settings_setint(settings, "synth.chorus.active", 0);
  fluid_settings_setnum(settings, "synth.gain", kGain);
  fluid_synth_t *synth = new_fluid_synth(settings);
  if (synth && fluid_synth_sfload(synth, soundfont.c_str(), 1) != FLUID_FAILED) {
    try {
      return new Synth{settings, synth, rate, {}, {}};
    } catch (...) { // out of memory: nothing of the attempt is kept
      delete_fluid_synth(synth);
      delete_fluid_settings(settings);
      throw;
    }
  }
  std::fprintf(stderr, "wail32: cannot load SoundFont %s; music plays silently\n",
               soundfont.c_str());
  if (synth) delete_fluid_synth(synth);
  delete_fluid_settings(settings);
  return nullptr;
}

void synth_destroy(Synth *synth) {
  if (!synth) return;
  delete_fluid_synth(synth->synth);
  delete_fluid_settings(synth->settings);
  delete synth;
}

uint32_t synth_rate(const Synth &synth) noexcept { return synth.rate; }

void synth_send(Synth &s, const Event &e) noexcept {
  int channel = e.status & 0x0F;
  switch (e.status & 0xF0) {
  case 0x80:
    fluid_synth_noteoff(s.synth, channel, e.data1);
    break;
  case 0x90:
    fluid_synth_noteon(s.synth, channel, e.data1, e.data2);
    break;
  case 0xA0:
    fluid_synth_key_pressure(s.synth, channel, e.data1, e.data2);
    break;
  case 0xB0:
    fluid_synth_cc(s.synth, channel, e.data1, e.data2);
    break;
  case 0xC0:
    fluid_synth_program_change(s.synth, channel, e.data1);
    break;
  case 0xD0:
    fluid_synth_channel_pressure(s.synth, channel, e.data1);
    break;
  case 0xE0:
    fluid_synth_pitch_bend(s.synth, channel, e.data1 | e.data2 << 7);
    break;
  default:
    break;
  }
}

void synth_silence(Synth &s) noexcept {
  for (int channel = 0; channel < kChannels; ++channel) {
    fluid_synth_all_notes_off(s.synth, channel);
    fluid_synth_cc(s.synth, channel, kAllSoundOff, 0);
  }
}

void synth_reset(Synth &s) noexcept { fluid_synth_system_reset(s.synth); }

float synth_render_add(Synth &s, float *mix, uint32_t frames) noexcept {
  fluid_synth_write_float(s.synth, (int)frames, s.left, 0, 1, s.right, 0, 1);
  float peak = 0.0f;
  for (uint32_t i = 0; i < frames; ++i) {
    mix[2 * i] += s.left[i];
    mix[2 * i + 1] += s.right[i];
    peak = std::max({peak, std::fabs(s.left[i]), std::fabs(s.right[i])});
  }
  return peak;
}

void synth_render_fade(Synth &s, float *fade, uint32_t frames) noexcept {
  fluid_synth_write_float(s.synth, (int)frames, s.left, 0, 1, s.right, 0, 1);
  for (uint32_t i = 0; i < frames; ++i) {
    const float gain = (float)(frames - i) / (float)frames;
    fade[2 * i] += s.left[i] * gain;
    fade[2 * i + 1] += s.right[i] * gain;
  }
}

} // namespace wail::midi
