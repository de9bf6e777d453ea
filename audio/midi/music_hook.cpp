// The mixer's entry into the MIDI side: renders the synthesiser into the mix while advancing
// every playing sequence by exactly the block, cutting the block at event times so each event
// reaches the synthesiser on its own frame (FluidSynth then starts it on its next 64-frame
// block, 1.3 ms at 48 kHz; a Windows MIDI port gets it as the block renders), and mixing the fade
// of a stopped tune. Also the library shutdown of the MIDI driver, and the query whether the
// synthesiser still sounds.
#include "audio/midi/music_hook.h"

#include "audio/midi/midi_driver.h"
#include "exports/boundary.h"
#include "wail32.h"

#include <algorithm>

namespace wail::music {
namespace {

using midi::DriverState;

// Below this level (-90 dBFS) the synthesiser counts as silent.
constexpr float kSilence = 3.1622777e-5f;

void dispatch_all(DriverState &d) {
  for (wail_sequence &s : d.sequences)
    if (s.allocated) midi::dispatch_due(s.playback, midi::send_event, &s);
}

uint32_t frames_to_next_event(DriverState &d, uint32_t rate, uint32_t limit) {
  for (wail_sequence &s : d.sequences)
    if (s.allocated) limit = midi::frames_until_due(s.playback, rate, limit);
  return limit;
}

void advance_all(DriverState &d, uint32_t frames, uint32_t rate) {
  for (wail_sequence &s : d.sequences)
    if (s.allocated) midi::advance(s.playback, frames, rate);
}

// Adds the next frames of a stopped tune's fade.
void mix_fade(DriverState &d, float *mix, uint32_t frames) {
  const uint32_t n = std::min(frames, d.fadeLeft);
  const float *from = d.fade + 2 * (midi::kStopFadeFrames - d.fadeLeft);
  for (uint32_t i = 0; i < 2 * n; ++i) mix[i] += from[i];
  d.fadeLeft -= n;
}

} // namespace

void render(float *mix, uint32_t frames, uint32_t rate) noexcept {
  DriverState &d = midi::driver_state();
  std::lock_guard guard(d.lock);
  if (!d.driver.open || rate == 0) return;
  mix_fade(d, mix, frames);
  // A synthesiser at another rate would play out of tune: the clock runs on in silence until
  // the next host call rebuilds it at this rate.
  midi::Synth *synth = d.synth && midi::synth_rate(*d.synth) == rate ? d.synth : nullptr;
  float peak = 0.0f;
  for (;;) {
    dispatch_all(d);
    if (frames == 0) break;
    uint32_t span = frames_to_next_event(d, rate, std::min(frames, midi::kSynthChunk));
    if (synth) peak = std::max(peak, midi::synth_render_add(*synth, mix, span));
    advance_all(d, span, rate);
    mix += 2 * span;
    frames -= span;
  }
  d.sounding = peak >= kSilence;
}

void shutdown() { AIL_midiOutClose(&midi::driver_state().driver); }

} // namespace wail::music

extern "C" {

WAIL_API int32_t AIL_synth_sounding(void) {
  return exports::guarded(0, [] {
    auto &d = wail::midi::driver_state();
    std::lock_guard guard(d.lock);
    return d.driver.open && (d.sounding || d.fadeLeft > 0) ? 1 : 0;
  });
}

} // extern "C"
