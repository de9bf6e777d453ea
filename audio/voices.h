// The voice table: one entry per sample handle, and the list of voices that play. Every field
// is read and written under the library lock: by the host's AIL_ calls and by the render, which
// mixes only the voices on the active list, so its cost follows the voices that play.
#pragma once

#include "audio/kernels/mix_kernel.h"
#include "wail32.h"

#include <cstdint>

namespace wail {

inline constexpr uint32_t kMaxVoices = 256;
// Frames over which a volume or pan change of a playing voice moves to its new gains, and over
// which a voice fades in when it starts in the middle of its data (2.5 ms at 48000 Hz).
inline constexpr uint32_t kRampFrames = 120;

// What the render reads and advances.
struct MixState {
  VoiceMix voice;      // PCM, position, step, current gains and plays left of the current start
  MixKernel kernel;    // chosen from the sample type at set-up; null = unsupported, mixed silent
  uint32_t frameBytes; // bytes per source frame
  float targetLeft;    // the gains the current ramp moves to
  float targetRight;
  uint32_t rampLeft; // frames until the gains reach their targets; 0 = steady
  bool playing;      // set by a start; cleared by stop/end, or by the render when it runs out
};

} // namespace wail

// A sample handle.
struct wail_sample {
  bool allocated;
  AILSAMPLECB callback; // end-of-sample callback
  intptr_t userData[2]; // the two user-data slots
  uint32_t status;      // SMP_PLAYING from a start until its end is delivered, else SMP_DONE
  uint32_t generation;  // bumped by every start; an end is delivered only to its own start
  const uint8_t *data;  // PCM data as set; null = none
  uint32_t length;      // PCM bytes as set
  int32_t format;       // DIG_F_*
  uint32_t typeFlags;   // DIG_PCM_SIGNED
  int32_t loopCount;    // 0 = until stopped, n = n plays
  int32_t rate;         // Hz as set
  int32_t volume;       // 0-127 as set (clamped)
  int32_t pan;          // 0-127 as set (clamped)
  uint32_t activeSlot;  // its place in the active list; kNotActive when not on it
  wail::MixState mix;
};

namespace wail {

inline constexpr uint32_t kNotActive = 0xFFFFFFFFu;

// A free voice, reset to its defaults, or null when every voice is taken.
wail_sample *allocate_voice();
// The voice behind `handle` if it is one of ours and allocated, else null.
wail_sample *voice_from_handle(HSAMPLE handle);
wail_sample &voice_at(uint32_t index) noexcept;
uint32_t voice_index(const wail_sample &voice) noexcept;
// Frees every voice and empties the active list. Only while no render runs.
void reset_voices();

// The voices the render visits: those playing, in the order they started.
uint32_t active_count() noexcept;
wail_sample &active_voice(uint32_t slot) noexcept;
void make_active(wail_sample &voice) noexcept;
// Takes the voice off the list; the last one takes its slot.
void make_inactive(wail_sample &voice) noexcept;

// The output rate that playback rates are resampled to. Set while no output runs.
void set_voice_output_rate(uint32_t rate);

// Translations from the host's values into the mixer's; see voices.cpp for the curves.
void apply_gains(wail_sample &voice); // volume and pan -> target gains, ramped while playing
void apply_step(wail_sample &voice);  // rate -> step
// data, length and type -> PCM, frames, kernel; `rewind` puts the position back to 0.
void apply_source(wail_sample &voice, bool rewind);
void apply_loop_count(wail_sample &voice); // loop count -> plays left

// Moves a position left at or past the end (a start at the end, or a play the kernel finished
// exactly) on to the next play. False when no play is left.
bool wrap_finished_play(VoiceMix &voice) noexcept;

} // namespace wail
