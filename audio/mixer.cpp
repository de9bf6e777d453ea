// The mixer: sums every playing voice through its resampling kernel, adds the tune and hands
// ended voices to the end ring. Owns the render rate; voice state is borrowed, one voice's spin
// lock at a time, held while that voice is mixed.
#include "audio/mixer.h"

#include "audio/end_reports.h"
#include "audio/midi/music_hook.h"
#include "audio/service.h"
#include "audio/voices.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace wail {
namespace {

struct MixerState {
  std::atomic<uint32_t> rate; // output frames per second; set by the output's open, read by render
};
MixerState g_mixer;

// Moves a position left at or past the end (a start at the end, or a play the kernel finished
// exactly) to the next play. False when no play is left.
bool wrap_finished_play(VoiceMix &v) noexcept {
  const uint64_t end = static_cast<uint64_t>(v.frames) << 32;
  while (v.position >= end) {
    if (!v.forever && v.playsLeft <= 1) return false;
    if (!v.forever) --v.playsLeft;
    v.position -= end;
  }
  return true;
}

// Advances a voice whose data the kernels cannot decode as the kernel would, adding nothing.
// Returns the frames produced; fewer than `count` means the last play ran out.
uint32_t advance_silently(VoiceMix &v, uint32_t count) noexcept {
  const uint64_t end = static_cast<uint64_t>(v.frames) << 32;
  uint32_t produced = 0;
  while (produced < count && wrap_finished_play(v)) {
    const uint64_t untilEnd = (end - v.position + v.step - 1) / v.step;
    const uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(untilEnd, count - produced));
    v.position += v.step * take;
    produced += take;
  }
  return produced;
}

// The voices that ran out in one block, ordered by the frame where each ran out (voice order
// among equals), so callbacks come in the order the sounds ended.
struct BlockEnds {
  EndReport reports[kMaxVoices];
  uint32_t frames[kMaxVoices];
  uint32_t count;

  void add(EndReport report, uint32_t frame) noexcept {
    uint32_t at = count++;
    for (; at > 0 && frames[at - 1] > frame; --at) {
      reports[at] = reports[at - 1];
      frames[at] = frames[at - 1];
    }
    reports[at] = report;
    frames[at] = frame;
  }
};

// Mixes one voice into `out`; a voice that runs out goes into `ends`.
void mix_voice(wail_sample &voice, float *out, uint32_t frames, BlockEnds &ends) noexcept {
  SpinGuard guard(voice.mixLock);
  MixState &m = voice.mix;
  const EndReport report{voice_index(voice), m.generation};
  if (m.endUnreported) {
    m.endUnreported = false;
    ends.add(report, 0);
    return;
  }
  if (!m.playing || m.voice.step == 0) return;
  const uint64_t end = static_cast<uint64_t>(m.voice.frames) << 32;
  uint32_t produced = 0;
  bool ended = m.voice.frames == 0 || !wrap_finished_play(m.voice);
  if (!ended) {
    produced =
        m.kernel != nullptr ? m.kernel(m.voice, out, frames) : advance_silently(m.voice, frames);
    // A play that runs out on the block's last frame leaves the position at the end.
    ended = produced < frames || m.voice.position >= end;
  }
  if (!ended) return;
  m.playing = false;
  m.voice.position = end;
  ends.add(report, produced);
}

// Hands the block's ends to the ring. An end the full ring refuses stays with its voice, unless
// the host restarted the voice meanwhile, and is offered again next block.
bool report_ends(const BlockEnds &ends) noexcept {
  for (uint32_t i = 0; i < ends.count; ++i) {
    const EndReport report = ends.reports[i];
    if (push_end_report(report)) continue;
    wail_sample &voice = voice_at(report.voice);
    SpinGuard guard(voice.mixLock);
    if (voice.mix.generation == report.generation && !voice.mix.playing)
      voice.mix.endUnreported = true;
  }
  return ends.count > 0;
}

__extension__ typedef unsigned __int128 u128; // plays x frames in 32.32 can pass 64 bits

// Output frames this voice still produces before it runs out; `limit` when that is further.
uint32_t frames_left(wail_sample &voice, uint32_t limit) noexcept {
  SpinGuard guard(voice.mixLock);
  const MixState &m = voice.mix;
  if (m.endUnreported) return 0;
  if (!m.playing || m.voice.step == 0 || m.voice.forever) return limit;
  const u128 end = static_cast<u128>(m.voice.frames) << 32;
  const u128 total = end * m.voice.playsLeft;
  if (m.voice.position >= total) return 0;
  const u128 frames = (total - m.voice.position + m.voice.step - 1) / m.voice.step;
  return frames < limit ? static_cast<uint32_t>(frames) : limit;
}

} // namespace

uint32_t frames_until_first_end(uint32_t limit) noexcept {
  const uint32_t count = voices_in_use();
  for (uint32_t i = 0; i < count && limit > 0; ++i) limit = frames_left(voice_at(i), limit);
  return limit;
}

void render(float *out, uint32_t frames) noexcept {
  std::fill(out, out + 2 * static_cast<size_t>(frames), 0.0f);
  BlockEnds ends;
  ends.count = 0;
  const uint32_t count = voices_in_use();
  for (uint32_t i = 0; i < count; ++i) mix_voice(voice_at(i), out, frames, ends);
  music::render(out, frames, render_rate());
  if (report_ends(ends)) wake_service();
}

void set_render_rate(uint32_t rate) noexcept {
  g_mixer.rate.store(rate, std::memory_order_relaxed);
}
uint32_t render_rate() noexcept { return g_mixer.rate.load(std::memory_order_relaxed); }

void to_pcm16(const float *mix, int16_t *pcm, uint32_t samples) noexcept {
  for (uint32_t i = 0; i < samples; ++i) {
    const float sample = std::isnan(mix[i]) ? 0.0f : std::clamp(mix[i], -1.0f, 1.0f);
    const float scaled = sample * 32767.0f;
    pcm[i] = static_cast<int16_t>(std::lrint(scaled));
  }
}

} // namespace wail
