// The voice table: one entry per sample handle. Each voice has the host's view (under the
// library lock) and the mixer's view (under the voice's spin lock, which the render holds for
// the whole time it mixes that voice, so after a stop returns the render no longer reads the
// old PCM data).
#pragma once

#include "audio/kernels/mix_kernel.h"
#include "audio/spin_lock.h"
#include "wail32.h"

#include <cstdint>

namespace wail {

inline constexpr uint32_t kMaxVoices = 256;

// What the render reads and advances. Guarded by wail_sample::mixLock.
struct MixState {
  VoiceMix voice;      // PCM, position, step, gains and plays left of the current start
  MixKernel kernel;    // chosen from the sample type at set-up; null = unsupported, mixed silent
  uint32_t frameBytes; // bytes per source frame
  uint32_t generation; // the start this state belongs to
  bool playing;        // set by a start; cleared by stop/end, or by the render when it runs out
  bool endUnreported;  // ran out while the end ring was full; the render reports it later
};

} // namespace wail

// A sample handle. Host fields: host threads and the service thread, under the library lock.
struct wail_sample {
  bool allocated;
  AILSAMPLECB callback;   // end-of-sample callback
  intptr_t userData[2];   // the two user-data slots
  uint32_t status;        // SMP_PLAYING from a start until its end is delivered, else SMP_DONE
  uint32_t generation;    // bumped by every start
  const uint8_t *data;    // PCM data as set; null = none
  uint32_t length;        // PCM bytes as set
  int32_t format;         // DIG_F_*
  uint32_t typeFlags;     // DIG_PCM_SIGNED
  int32_t loopCount;      // 0 = until stopped, n = n plays
  int32_t rate;           // Hz as set
  int32_t volume;         // 0-127 as set (clamped)
  int32_t pan;            // 0-127 as set (clamped)
  wail::SpinLock mixLock; // guards mix
  wail::MixState mix;     // render thread and host threads, under mixLock
};

namespace wail {

// A free voice, reset to its defaults, or null when every voice is taken. Library lock held.
wail_sample *allocate_voice();
// The voice behind `handle` if it is one of ours and allocated, else null. Library lock held.
wail_sample *voice_from_handle(HSAMPLE handle);
// Voices handed out so far (the render visits entries 0 .. count-1). Any thread.
uint32_t voices_in_use() noexcept;
wail_sample &voice_at(uint32_t index) noexcept;
uint32_t voice_index(const wail_sample &voice) noexcept;
// Frees every voice. Only while no output renders and no callback can run.
void reset_voices();

// The output rate that playback rates are resampled to. Library lock held, no output running.
void set_voice_output_rate(uint32_t rate);

// Translations from the host's values into the mixer's; see voices.cpp for the curves.
void apply_gains(wail_sample &voice); // volume and pan -> gains
void apply_step(wail_sample &voice);  // rate -> step
// data, length and type -> PCM, frames, kernel; `rewind` puts the position back to 0.
void apply_source(wail_sample &voice, bool rewind);
void apply_loop_count(wail_sample &voice); // loop count -> plays left

} // namespace wail
