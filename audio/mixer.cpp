// The mixer's loop over the active voices: each voice through its kernel, its gains moving
// along their ramp; a voice that runs out is taken off the list and reported.
#include "audio/mixer.h"

#include <algorithm>

namespace wail {
namespace {

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

// Runs the kernel over the part of the block the gain ramp covers, then over the rest at the
// target gains. Returns the frames produced.
uint32_t mix_ramped(MixState &m, float *mix, uint32_t frames) noexcept {
  VoiceMix &v = m.voice;
  uint32_t produced = 0;
  if (m.rampLeft > 0) {
    const uint32_t k = std::min(frames, m.rampLeft);
    const auto left = static_cast<float>(m.rampLeft);
    v.gainStepLeft = (m.targetLeft - v.gainLeft) / left;
    v.gainStepRight = (m.targetRight - v.gainRight) / left;
    produced = m.kernel(v, mix, k);
    m.rampLeft -= k;
    v.gainLeft =
        m.rampLeft == 0 ? m.targetLeft : v.gainLeft + v.gainStepLeft * static_cast<float>(k);
    v.gainRight =
        m.rampLeft == 0 ? m.targetRight : v.gainRight + v.gainStepRight * static_cast<float>(k);
    v.gainStepLeft = v.gainStepRight = 0.0f;
    if (produced < k || k == frames) return produced;
  }
  return produced + m.kernel(v, mix + 2 * size_t{produced}, frames - produced);
}

void add_end(BlockEnds &ends, VoiceEnd end) noexcept {
  uint32_t at = ends.count++;
  for (; at > 0 && ends.ends[at - 1].frame > end.frame; --at) ends.ends[at] = ends.ends[at - 1];
  ends.ends[at] = end;
}

// Mixes one voice; true when it ran out (and was noted in `ends`).
bool mix_voice(wail_sample &voice, float *mix, uint32_t frames, BlockEnds &ends) noexcept {
  MixState &m = voice.mix;
  if (m.voice.step == 0) return false; // frozen: plays on, adds nothing
  const uint64_t end = static_cast<uint64_t>(m.voice.frames) << 32;
  uint32_t produced = 0;
  bool ended = !wrap_finished_play(m.voice);
  if (!ended) {
    produced = m.kernel != nullptr ? mix_ramped(m, mix, frames) : advance_silently(m.voice, frames);
    // A play that runs out on the block's last frame leaves the position at the end.
    ended = produced < frames || m.voice.position >= end;
  }
  if (!ended) return false;
  m.playing = false;
  m.voice.position = end;
  add_end(ends, {voice_index(voice), voice.generation, produced});
  return true;
}

// Output frames this voice still produces before it runs out; `limit` when that is further.
uint32_t frames_left(const MixState &m, uint32_t limit) noexcept {
  const VoiceMix &v = m.voice;
  if (v.step == 0 || v.forever) return limit;
  const uint64_t end = static_cast<uint64_t>(v.frames) << 32;
  if (v.frames == 0 || (v.position >= end && v.playsLeft <= 1)) return 0;
  // Source span to the end of the last play; beyond 64 bits it is surely past `limit`.
  const uint64_t thisPlay = v.position >= end ? 0 : end - v.position;
  const uint64_t laterPlays = v.playsLeft - 1;
  if (laterPlays > 0 && laterPlays > (UINT64_MAX - thisPlay) / end) return limit;
  const uint64_t span = thisPlay + laterPlays * end;
  const uint64_t frames = span / v.step + (span % v.step != 0);
  return frames < limit ? static_cast<uint32_t>(frames) : limit;
}

} // namespace

void mix_voices(float *mix, uint32_t frames, BlockEnds &ends) noexcept {
  ends.count = 0;
  for (uint32_t slot = 0; slot < active_count();) {
    wail_sample &voice = active_voice(slot);
    if (mix_voice(voice, mix, frames, ends))
      make_inactive(voice); // the last voice moves into this slot and is mixed next
    else
      ++slot;
  }
}

uint32_t frames_until_first_end(uint32_t limit) noexcept {
  for (uint32_t slot = 0; slot < active_count() && limit > 0; ++slot)
    limit = frames_left(active_voice(slot).mix, limit);
  return limit;
}

} // namespace wail
