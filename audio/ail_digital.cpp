// The AIL_ operations on sample handles. Each takes the library lock and changes the voice; the
// render, which takes the same lock, sees every change whole at its next block.
// Choices left open by the interface, as implemented here:
//   status    SMP_FREE (1) for a handle that is not an allocated one of ours; SMP_DONE (2) for
//             an allocated voice not playing (never started, halted, ended); SMP_PLAYING (4) from
//             AIL_start_sample until AIL_stop_sample, AIL_end_sample, or the delivery of its end
//             (the status changes just before the callback runs).
//   position  a byte offset into the PCM data, rounded down to a whole frame. Reading gives the
//             frame about to be rendered; a position past the end is clamped to the end. A start
//             at the end finishes that play at once: the next play begins at 0, or, with none
//             left, the sample ends and its callback follows.
//   start     begins at the set position with the full loop count. A start anywhere but the
//             first frame (a resumed sound) fades in over kRampFrames; a start at the first
//             frame plays the sample's own first frame at once.
//   stop      halting, ending or moving a playing voice fades what it was playing out over
//             kFadeFrames from a buffer of its own; the handle, its position and its data are
//             free the moment the call returns, and the position reads back where it stopped.
//   address   setting it rewinds to 0; a playing voice goes on with the new data.
//   loops     0 = until stopped, n = n plays, below 0 = once. Changed while playing, the play now
//             running counts as the first of the new count.
//   end       AIL_end_sample on a voice that is not playing runs no callback; the position stays.
//   bad input an invalid handle is ignored and reads as 0 (status SMP_FREE); a format outside
//             0-3 is refused and sets the last error.
//   serve     AIL_serve does nothing: the mixer thread delivers callbacks by itself.
#include "audio/counters.h"
#include "audio/library.h"
#include "audio/render.h"
#include "audio/voices.h"
#include "exports/boundary.h"

#include <algorithm>
#include <utility>

using wail::LibraryGuard;

namespace {

// Runs `body` on the voice behind `sample` under the library lock; `none` for an invalid
// handle or an exception.
template <typename Result, typename Body>
Result with_voice(HSAMPLE sample, Result none, Body body) noexcept {
  return exports::guarded(none, [&] {
    LibraryGuard lock(wail::library_mutex());
    wail_sample *voice = wail::voice_from_handle(sample);
    return voice != nullptr ? body(*voice) : none;
  });
}

template <typename Body> void with_voice(HSAMPLE sample, Body body) noexcept {
  with_voice(sample, 0, [&](wail_sample &voice) {
    body(voice);
    return 0;
  });
}

// Settles the gains where their ramp was going.
void settle_gains(wail::MixState &m) {
  m.voice.gainLeft = m.targetLeft;
  m.voice.gainRight = m.targetRight;
  m.rampLeft = 0;
}

// Stops the mixer's side of a voice, fading out what it played.
void halt_mix(wail_sample &voice) {
  wail::MixState &m = voice.mix;
  if (!m.playing) return;
  wail::fade_out(m);
  m.playing = false;
  settle_gains(m);
  wail::make_inactive(voice);
}

// Settles a voice that stops playing as the host sees it; true when an end was owed.
bool finish_voice(wail_sample &voice) {
  halt_mix(voice);
  if (voice.status != SMP_PLAYING) return false;
  wail::count(wail::g_counters.halts);
  voice.status = SMP_DONE;
  return true;
}

// The voice comes in from silence at its target gains.
void fade_in(wail::MixState &m) {
  m.voice.gainLeft = m.voice.gainRight = 0.0f;
  m.rampLeft = wail::kRampFrames;
}

// A playing voice about to jump elsewhere in its data: what it played fades out, and it fades in
// from where it lands when `fadeIn` is set.
void before_jump(wail::MixState &m) {
  if (m.playing) wail::fade_out(m);
}
void after_jump(wail::MixState &m, bool fadeIn) {
  if (m.playing && fadeIn) fade_in(m);
}

bool is_16bit(int32_t format) { return format == DIG_F_MONO_16 || format == DIG_F_STEREO_16; }

} // namespace

extern "C" {

WAIL_API AILSAMPLECB AIL_register_EOS_callback(HSAMPLE sample, AILSAMPLECB callback) {
  return with_voice(sample, AILSAMPLECB{nullptr},
                    [&](wail_sample &voice) { return std::exchange(voice.callback, callback); });
}

WAIL_API void AIL_set_sample_user_data(HSAMPLE sample, uint32_t index, intptr_t value) {
  with_voice(sample, [&](wail_sample &voice) {
    if (index < 2) voice.userData[index] = value;
  });
}

WAIL_API intptr_t AIL_sample_user_data(HSAMPLE sample, uint32_t index) {
  return with_voice(sample, intptr_t{0}, [&](wail_sample &voice) {
    return index < 2 ? voice.userData[index] : intptr_t{0};
  });
}

WAIL_API void AIL_set_sample_address(HSAMPLE sample, const void *start, uint32_t length) {
  with_voice(sample, [&](wail_sample &voice) {
    before_jump(voice.mix);
    voice.data = static_cast<const uint8_t *>(start);
    voice.length = length;
    wail::apply_source(voice, true);
  });
}

WAIL_API void AIL_set_sample_type(HSAMPLE sample, int32_t format, uint32_t flags) {
  with_voice(sample, [&](wail_sample &voice) {
    if (format < DIG_F_MONO_8 || format > DIG_F_STEREO_16) {
      wail::set_last_error("AIL_set_sample_type: format must be 0-3");
      return;
    }
    before_jump(voice.mix);
    voice.format = format;
    voice.typeFlags = flags;
    wail::apply_source(voice, false);
    after_jump(voice.mix, true);
    if (is_16bit(format) != ((flags & DIG_PCM_SIGNED) != 0))
      wail::set_last_error("AIL_set_sample_type: only unsigned 8-bit and signed 16-bit data are "
                           "mixed; this sample plays silently");
  });
}

WAIL_API void AIL_set_sample_loop_count(HSAMPLE sample, int32_t count) {
  with_voice(sample, [&](wail_sample &voice) {
    voice.loopCount = count;
    wail::apply_loop_count(voice);
  });
}

WAIL_API void AIL_set_sample_playback_rate(HSAMPLE sample, int32_t rate) {
  with_voice(sample, [&](wail_sample &voice) {
    voice.rate = rate;
    wail::apply_step(voice);
  });
}

WAIL_API void AIL_set_sample_volume(HSAMPLE sample, int32_t volume) {
  with_voice(sample, [&](wail_sample &voice) {
    voice.volume = std::clamp(volume, 0, 127);
    wail::apply_gains(voice);
  });
}

WAIL_API void AIL_set_sample_pan(HSAMPLE sample, int32_t pan) {
  with_voice(sample, [&](wail_sample &voice) {
    voice.pan = std::clamp(pan, 0, 127);
    wail::apply_gains(voice);
  });
}

WAIL_API void AIL_start_sample(HSAMPLE sample) {
  with_voice(sample, [&](wail_sample &voice) {
    wail::count_start(voice.status == SMP_PLAYING);
    ++voice.generation;
    voice.status = SMP_PLAYING;
    wail::apply_loop_count(voice);
    wail::MixState &m = voice.mix;
    m.voice.playsDone = 0; // the filter reads silence before a new start's first frame
    if (m.playing) return;
    if ((m.voice.position >> 32) != 0) fade_in(m);
    m.playing = true;
    wail::make_active(voice);
  });
}

WAIL_API void AIL_stop_sample(HSAMPLE sample) {
  with_voice(sample, [&](wail_sample &voice) { finish_voice(voice); });
}

WAIL_API void AIL_end_sample(HSAMPLE sample) {
  with_voice(sample, [&](wail_sample &voice) {
    if (finish_voice(voice) && voice.callback != nullptr) voice.callback(&voice);
  });
}

WAIL_API uint32_t AIL_sample_status(HSAMPLE sample) {
  return with_voice(sample, uint32_t{SMP_FREE}, [](wail_sample &voice) { return voice.status; });
}

WAIL_API uint32_t AIL_sample_position(HSAMPLE sample) {
  return with_voice(sample, uint32_t{0}, [](wail_sample &voice) {
    const wail::MixState &m = voice.mix;
    const uint64_t frame = std::min<uint64_t>(m.voice.position >> 32, m.voice.frames);
    return static_cast<uint32_t>(frame) * m.frameBytes;
  });
}

WAIL_API void AIL_set_sample_position(HSAMPLE sample, uint32_t position) {
  with_voice(sample, [&](wail_sample &voice) {
    wail::MixState &m = voice.mix;
    before_jump(m);
    const uint32_t frame = std::min(position / m.frameBytes, m.voice.frames);
    m.voice.position = static_cast<uint64_t>(frame) << 32;
    after_jump(m, true);
  });
}

} // extern "C"
