// The AIL_ operations on sample handles. Each takes the library lock, changes the host's view
// of the voice and passes the change to the mixer through the voice's spin lock.
// Choices left open by the interface, as implemented here:
//   status    SMP_FREE (1) for a handle that is not an allocated one of ours; SMP_DONE (2) for
//             an allocated voice not playing (never started, halted, ended); SMP_PLAYING (4) from
//             AIL_start_sample until AIL_stop_sample, AIL_end_sample, or the delivery of its end
//             (the status changes just before the callback runs).
//   position  a byte offset into the PCM data, rounded down to a whole frame. Reading gives the
//             frame about to play; a position past the end is clamped to the end. A start at
//             the end finishes that play at once: the next play begins at 0, or, with none left,
//             the sample ends and its callback follows.
//   start     begins at the set position with the full loop count.
//   address   setting it rewinds to 0; a playing voice goes on with the new data.
//   loops     0 = until stopped, n = n plays, below 0 = once. Changed while playing, the play now
//             running counts as the first of the new count.
//   end       AIL_end_sample on a voice that is not playing runs no callback; the position stays.
//   bad input an invalid handle is ignored and reads as 0 (status SMP_FREE); a format outside
//             0-3 is refused and sets the last error.
//   serve     AIL_serve does nothing: the service thread delivers callbacks by itself.
#include "audio/counters.h"
#include "audio/library.h"
#include "audio/voices.h"

#include <algorithm>
#include <utility>

using wail::LibraryGuard;
using wail::SpinGuard;

namespace {

// Stops the mixer's side of a voice. After it returns the render no longer reads its data.
void halt_mix(wail_sample &voice) {
  SpinGuard guard(voice.mixLock);
  voice.mix.playing = false;
  voice.mix.endUnreported = false;
}

// Settles a voice that stops playing as the host sees it; true when an end was owed.
bool finish_voice(wail_sample &voice) {
  halt_mix(voice);
  if (voice.status != SMP_PLAYING) return false;
  wail::count(wail::g_counters.halts);
  voice.status = SMP_DONE;
  return true;
}

bool is_16bit(int32_t format) { return format == DIG_F_MONO_16 || format == DIG_F_STEREO_16; }

} // namespace

extern "C" {

WAIL_API AILSAMPLECB AIL_register_EOS_callback(HSAMPLE sample, AILSAMPLECB callback) {
  LibraryGuard lock(wail::library_mutex());
  wail_sample *voice = wail::voice_from_handle(sample);
  if (voice == nullptr) return nullptr;
  return std::exchange(voice->callback, callback);
}

WAIL_API void AIL_set_sample_user_data(HSAMPLE sample, uint32_t index, intptr_t value) {
  LibraryGuard lock(wail::library_mutex());
  wail_sample *voice = wail::voice_from_handle(sample);
  if (voice != nullptr && index < 2) voice->userData[index] = value;
}

WAIL_API intptr_t AIL_sample_user_data(HSAMPLE sample, uint32_t index) {
  LibraryGuard lock(wail::library_mutex());
  wail_sample *voice = wail::voice_from_handle(sample);
  return voice != nullptr && index < 2 ? voice->userData[index] : 0;
}

WAIL_API void AIL_set_sample_address(HSAMPLE sample, const void *start, uint32_t length) {
  LibraryGuard lock(wail::library_mutex());
  wail_sample *voice = wail::voice_from_handle(sample);
  if (voice == nullptr) return;
  voice->data = static_cast<const uint8_t *>(start);
  voice->length = length;
  wail::apply_source(*voice, true);
}

WAIL_API void AIL_set_sample_type(HSAMPLE sample, int32_t format, uint32_t flags) {
  LibraryGuard lock(wail::library_mutex());
  wail_sample *voice = wail::voice_from_handle(sample);
  if (voice == nullptr) return;
  if (format < DIG_F_MONO_8 || format > DIG_F_STEREO_16) {
    wail::set_last_error("AIL_set_sample_type: format must be 0-3");
    return;
  }
  voice->format = format;
  voice->typeFlags = flags;
  wail::apply_source(*voice, false);
  if (is_16bit(format) != ((flags & DIG_PCM_SIGNED) != 0))
    wail::set_last_error("AIL_set_sample_type: only unsigned 8-bit and signed 16-bit data are "
                         "mixed; this sample plays silently");
}

WAIL_API void AIL_set_sample_loop_count(HSAMPLE sample, int32_t count) {
  LibraryGuard lock(wail::library_mutex());
  wail_sample *voice = wail::voice_from_handle(sample);
  if (voice == nullptr) return;
  voice->loopCount = count;
  wail::apply_loop_count(*voice);
}

WAIL_API void AIL_set_sample_playback_rate(HSAMPLE sample, int32_t rate) {
  LibraryGuard lock(wail::library_mutex());
  wail_sample *voice = wail::voice_from_handle(sample);
  if (voice == nullptr) return;
  voice->rate = rate;
  wail::apply_step(*voice);
}

WAIL_API void AIL_set_sample_volume(HSAMPLE sample, int32_t volume) {
  LibraryGuard lock(wail::library_mutex());
  wail_sample *voice = wail::voice_from_handle(sample);
  if (voice == nullptr) return;
  voice->volume = std::clamp(volume, 0, 127);
  wail::apply_gains(*voice);
}

WAIL_API void AIL_set_sample_pan(HSAMPLE sample, int32_t pan) {
  LibraryGuard lock(wail::library_mutex());
  wail_sample *voice = wail::voice_from_handle(sample);
  if (voice == nullptr) return;
  voice->pan = std::clamp(pan, 0, 127);
  wail::apply_gains(*voice);
}

WAIL_API void AIL_start_sample(HSAMPLE sample) {
  LibraryGuard lock(wail::library_mutex());
  wail_sample *voice = wail::voice_from_handle(sample);
  if (voice == nullptr) return;
  wail::count_start(voice->status == SMP_PLAYING);
  ++voice->generation;
  voice->status = SMP_PLAYING;
  wail::apply_loop_count(*voice);
  SpinGuard guard(voice->mixLock);
  voice->mix.generation = voice->generation;
  voice->mix.playing = true;
  voice->mix.endUnreported = false;
}

WAIL_API void AIL_stop_sample(HSAMPLE sample) {
  LibraryGuard lock(wail::library_mutex());
  wail_sample *voice = wail::voice_from_handle(sample);
  if (voice != nullptr) finish_voice(*voice);
}

WAIL_API void AIL_end_sample(HSAMPLE sample) {
  LibraryGuard lock(wail::library_mutex());
  wail_sample *voice = wail::voice_from_handle(sample);
  if (voice == nullptr || !finish_voice(*voice)) return;
  if (voice->callback != nullptr) voice->callback(voice);
}

WAIL_API uint32_t AIL_sample_status(HSAMPLE sample) {
  LibraryGuard lock(wail::library_mutex());
  wail_sample *voice = wail::voice_from_handle(sample);
  return voice != nullptr ? voice->status : SMP_FREE;
}

WAIL_API uint32_t AIL_sample_position(HSAMPLE sample) {
  LibraryGuard lock(wail::library_mutex());
  wail_sample *voice = wail::voice_from_handle(sample);
  if (voice == nullptr) return 0;
  SpinGuard guard(voice->mixLock);
  const wail::MixState &m = voice->mix;
  const uint64_t frame = std::min<uint64_t>(m.voice.position >> 32, m.voice.frames);
  return static_cast<uint32_t>(frame) * m.frameBytes;
}

WAIL_API void AIL_set_sample_position(HSAMPLE sample, uint32_t position) {
  LibraryGuard lock(wail::library_mutex());
  wail_sample *voice = wail::voice_from_handle(sample);
  if (voice == nullptr) return;
  SpinGuard guard(voice->mixLock);
  wail::MixState &m = voice->mix;
  const uint32_t frame = std::min(position / m.frameBytes, m.voice.frames);
  m.voice.position = static_cast<uint64_t>(frame) << 32;
}

} // extern "C"
