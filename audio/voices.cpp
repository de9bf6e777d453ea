// The voice table, its active list, and the translation of the host's voice settings into
// mixer terms. Choices left open by the interface, as implemented here:
//   volume  0-127, linear amplitude: gain = volume / 127 (out-of-range values are clamped).
//   pan     0-127, 64 centre (128 and above count as 127): a balance law. At the centre both
//           sides play at full gain; towards the right the left side falls linearly to 0 at
//           127, towards the left the right side falls linearly to 0 at 0. A mono source at
//           volume 127, centre pan, is heard at its full level on both sides.
//   changes a new volume or pan of a playing voice moves there over kRampFrames; a voice that
//           does not play takes it at once.
//   level   full scale 1.0 = the largest 8-bit or 16-bit sample value, as the kernels decode.
//   rate    a rate of 0 or below freezes the voice: it stays playing, does not advance and adds
//           nothing; rates above 768000 Hz are clamped.
//   type    8-bit unsigned and 16-bit signed data are mixed; 8-bit signed or 16-bit unsigned
//           data play silently (status, position and callbacks as usual) and set the last error.
#include "audio/voices.h"

#include "audio/resampling.h"

#include <algorithm>

namespace wail {
namespace {

constexpr int32_t kMaxRate = 768000;

struct VoiceTable {
  wail_sample voices[kMaxVoices]; // under the library lock
  uint16_t active[kMaxVoices];    // indexes of the voices the render visits
  uint32_t activeCount;
  uint32_t outputRate; // the open output's rate; set before the output runs
};
VoiceTable g_table;

uint32_t frame_bytes(int32_t format) {
  switch (format) {
  case DIG_F_MONO_8:
    return 1;
  case DIG_F_MONO_16:
    return 2;
  case DIG_F_STEREO_8:
    return 2;
  case DIG_F_STEREO_16:
    return 4;
  default:
    return 1;
  }
}

// The kernel for the voice's type in the resampling mode now in force, or null for data the
// kernels do not decode.
MixKernel kernel_for(int32_t format, uint32_t flags) {
  const bool is16 = format == DIG_F_MONO_16 || format == DIG_F_STEREO_16;
  const bool isSigned = (flags & DIG_PCM_SIGNED) != 0;
  if (is16 != isSigned) return nullptr;
  return select_kernel(static_cast<SourceFormat>(format), resampling_mode());
}

void reset_voice(wail_sample &v) {
  v.allocated = false;
  v.callback = nullptr;
  v.userData[0] = v.userData[1] = 0;
  v.status = SMP_FREE;
  v.generation = 0;
  v.data = nullptr;
  v.length = 0;
  v.format = DIG_F_MONO_8;
  v.typeFlags = 0;
  v.loopCount = 1;
  v.rate = 11025;
  v.volume = 127;
  v.pan = 64;
  v.activeSlot = kNotActive;
  v.mix = MixState{};
  v.mix.voice.playsLeft = 1;
  v.mix.frameBytes = 1;
}

} // namespace

wail_sample *allocate_voice() {
  for (wail_sample &v : g_table.voices) {
    if (v.allocated) continue;
    reset_voice(v);
    v.allocated = true;
    v.status = SMP_DONE;
    apply_source(v, true);
    apply_gains(v);
    apply_step(v);
    return &v;
  }
  return nullptr;
}

wail_sample *voice_from_handle(HSAMPLE handle) {
  const auto address = reinterpret_cast<uintptr_t>(handle);
  const auto first = reinterpret_cast<uintptr_t>(&g_table.voices[0]);
  const auto end = reinterpret_cast<uintptr_t>(&g_table.voices[kMaxVoices]);
  if (address < first || address >= end || (address - first) % sizeof(wail_sample) != 0)
    return nullptr;
  wail_sample &v = g_table.voices[(address - first) / sizeof(wail_sample)];
  return v.allocated ? &v : nullptr;
}

wail_sample &voice_at(uint32_t index) noexcept { return g_table.voices[index]; }
uint32_t voice_index(const wail_sample &voice) noexcept {
  return static_cast<uint32_t>(&voice - &g_table.voices[0]);
}

void reset_voices() {
  for (wail_sample &v : g_table.voices) reset_voice(v);
  g_table.activeCount = 0;
}

uint32_t active_count() noexcept { return g_table.activeCount; }
wail_sample &active_voice(uint32_t slot) noexcept { return voice_at(g_table.active[slot]); }

void make_active(wail_sample &voice) noexcept {
  if (voice.activeSlot != kNotActive) return;
  voice.activeSlot = g_table.activeCount++;
  g_table.active[voice.activeSlot] = static_cast<uint16_t>(voice_index(voice));
}

void make_inactive(wail_sample &voice) noexcept {
  const uint32_t slot = voice.activeSlot;
  if (slot == kNotActive) return;
  const uint16_t last = g_table.active[--g_table.activeCount];
  g_table.active[slot] = last;
  voice_at(last).activeSlot = slot;
  voice.activeSlot = kNotActive;
}

void set_voice_output_rate(uint32_t rate) { g_table.outputRate = rate; }

void apply_gains(wail_sample &v) {
  const float volume = static_cast<float>(std::clamp(v.volume, 0, 127)) / 127.0f;
  const int32_t pan = std::clamp(v.pan, 0, 127);
  const float left = pan <= 64 ? 1.0f : static_cast<float>(127 - pan) / 63.0f;
  const float right = pan >= 64 ? 1.0f : static_cast<float>(pan) / 64.0f;
  MixState &m = v.mix;
  m.targetLeft = volume * left;
  m.targetRight = volume * right;
  if (m.playing) {
    m.rampLeft = kRampFrames;
    return;
  }
  m.voice.gainLeft = m.targetLeft;
  m.voice.gainRight = m.targetRight;
  m.rampLeft = 0;
}

void apply_step(wail_sample &v) {
  const uint64_t rate = static_cast<uint64_t>(std::clamp(v.rate, 0, kMaxRate));
  const uint64_t out = g_table.outputRate != 0 ? g_table.outputRate : 48000;
  v.mix.voice.step = (rate << 32) / out;
}

void apply_source(wail_sample &v, bool rewind) {
  const uint32_t bytes = frame_bytes(v.format);
  const uint32_t frames = v.data != nullptr ? v.length / bytes : 0;
  MixState &m = v.mix;
  m.voice.data = v.data;
  m.voice.frames = frames;
  m.frameBytes = bytes;
  m.kernel = kernel_for(v.format, v.typeFlags);
  const uint64_t end = static_cast<uint64_t>(frames) << 32;
  if (rewind) m.voice.position = 0;
  m.voice.position = std::min<uint64_t>(m.voice.position & ~uint64_t{0xFFFFFFFF}, end);
}

void apply_loop_count(wail_sample &v) {
  v.mix.voice.forever = v.loopCount == 0;
  v.mix.voice.playsLeft = static_cast<uint32_t>(std::max(v.loopCount, 1));
}

bool wrap_finished_play(VoiceMix &v) noexcept {
  if (v.frames == 0) return false;
  const uint64_t end = static_cast<uint64_t>(v.frames) << 32;
  while (v.position >= end) {
    if (!v.forever && v.playsLeft <= 1) return false;
    if (!v.forever) --v.playsLeft;
    if (v.playsDone < UINT32_MAX) ++v.playsDone;
    v.position -= end;
  }
  return true;
}

} // namespace wail
