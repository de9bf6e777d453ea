// The listener and 3D placement: turns a sound's position into a volume from its distance to the
// ear and a pan from its bearing relative to the ear's direction. Owns the listener state.
//
// Choices: the squared distance is formed in 64 bits, so positions more than 32767 apart on an
// axis use their true distance instead of a wrapped one (only ever quieter). A baseVolume of -1
// is resolved to the sample's volume, as playback resolves volume -1; with no sample (a group)
// it is the default volume, 100.
#include "engine/placement.h"

#include "engine/channels.h"
#include "engine/lock.h"
#include "engine/state.h"
#include "exports/boundary.h"

#include <cmath>
#include <cstdint>

namespace engine {

// Host thread; KSFX_SetEarPos writes it under AIL_lock. Not reset by start-up or shutdown.
Listener g_listener = {0, 0, -1, 6};

namespace {

constexpr double kInversePi = 0.31830988614222805; // nearest double to 1/3.141592654
constexpr int32_t kMaxLevel = 127;
constexpr uint32_t kDefaultVolume = 100;

// Truncation toward zero; a quotient that is not finite (envelope 0) counts as 0 steps.
int32_t truncate_steps(double quotient) { return std::isfinite(quotient) ? (int32_t)quotient : 0; }

uint32_t base_volume(const SoundRecord *record) {
  if (record->baseVolume != UINT32_MAX) return record->baseVolume;
  if (record->sample && record->sample->volume >= 0) return (uint32_t)record->sample->volume;
  return kDefaultVolume;
}

// 127 minus whole envelope steps of distance; 0 when that falls below 1.
int32_t level_at(int32_t dx, int32_t dy) {
  int64_t squared = (int64_t)dx * dx + (int64_t)dy * dy;
  double steps = std::sqrt((double)squared) / (double)g_listener.envelope;
  int32_t level = kMaxLevel - truncate_steps(steps);
  return level < 1 ? 0 : level;
}

// 0..511: 256 toward +y, 128 toward +x; the factor's rounding puts -x at 383.
int32_t bearing_of(int32_t dx, int32_t dy) {
  double theta = std::atan2((double)dx, (double)dy);
  return (int16_t)(int32_t)(theta * kInversePi * -256.0 + 256.0);
}

// Right-hand side toward 127, left toward 0; front and back fold together, and near sounds
// lose up to 15 of their sideways offset.
int32_t pan_for(int32_t bearing, int32_t level) {
  int32_t rel = bearing - g_listener.earDirection;
  if (rel < 0) rel += 512;
  int32_t side = 1;
  if (rel > 256) {
    rel = 512 - rel;
    side = -1;
  }
  if (rel > 128) rel = 256 - rel;
  int32_t offset = rel * 64 / 128 - level / 8;
  return side * offset + 64;
}

} // namespace

void Compute3DPlacement(SoundRecord *record, int16_t x, int16_t y, int32_t *rate, int32_t *volume,
                        int32_t *pan) {
  int32_t dx = (int32_t)x - g_listener.earX;
  int32_t dy = (int32_t)y - g_listener.earY;
  int32_t level = level_at(dx, dy);
  uint32_t placedVolume = level == 0 ? 0 : base_volume(record) * (uint32_t)level / 127u;
  int32_t placedPan = pan_for(bearing_of(dx, dy), level);
  record->x = x;
  record->y = y;
  record->volume = (int32_t)placedVolume;
  record->pan = placedPan;
  if (rate) *rate = record->rate;
  if (volume) *volume = (int32_t)placedVolume;
  if (pan) *pan = placedPan;
}

} // namespace engine

using engine::g_listener;

namespace {

int32_t play_3d_sfx(SoundRecord *record, int16_t x, int16_t y) {
  engine::AudioLock lock;
  if (!engine::g_state.initialised) {
    engine::set_error(engine::kNotInitialised);
    return 0;
  }
  if (!record) return 0;
  int32_t rate = 0, volume = 0, pan = 0;
  engine::Compute3DPlacement(record, x, y, &rate, &volume, &pan);
  record->flags |= KSFX_3D;
  if (record->status == 1) return KSFX_UpdateSFX(record, rate, volume, pan);
  return KSFX_PlaySFX(record);
}

void set_ear_pos(int16_t x, int16_t y, int16_t direction) {
  engine::AudioLock lock;
  if (x == g_listener.earX && y == g_listener.earY && direction == g_listener.earDirection) return;
  g_listener.earX = x;
  g_listener.earY = y;
  g_listener.earDirection = direction;
  uint16_t count = engine::live_channel_count();
  for (uint16_t k = 0; k < count; ++k) {
    Channel &channel = engine::g_channels.table[k];
    SoundRecord *current = channel.current;
    if (current == &engine::g_idleRecord) continue;
    if (current->flags & KSFX_3D) play_3d_sfx(current, current->x, current->y);
    SoundRecord *waiting = channel.suspended;
    if (waiting && (waiting->flags & KSFX_3D))
      engine::Compute3DPlacement(waiting, waiting->x, waiting->y, nullptr, nullptr, nullptr);
  }
}

} // namespace

extern "C" {

// Stores the fall-off distance; sounds already placed keep their values.
void KSFX_SetEnvelope(int16_t envelope) {
  exports::guarded([envelope] {
    engine::AudioLock lock;
    g_listener.envelope = envelope;
  });
}

void KSFX_GetEarPos(int16_t *x, int16_t *y, int16_t *direction) {
  exports::guarded([=] {
    engine::AudioLock lock;
    if (x) *x = g_listener.earX;
    if (y) *y = g_listener.earY;
    if (direction) *direction = g_listener.earDirection;
  });
}

// Places the record and plays it, or updates it when it already plays. 0 with code 8 before
// start-up (the record untouched); a null record is refused with 0.
int32_t KSFX_Play3DSFX(SoundRecord *record, int16_t x, int16_t y) {
  return exports::guarded(0, [=] { return play_3d_sfx(record, x, y); });
}

// Moves the listener. Placed sounds playing on a channel are re-placed on their sample handle at
// once; placed sounds suspended behind them get new values in their record only. Before start-up
// and after shutdown the live channel count is 0, so only the listener changes.
void KSFX_SetEarPos(int16_t x, int16_t y, int16_t direction) {
  exports::guarded([=] { set_ear_pos(x, y, direction); });
}

} // extern "C"
