// The fade-tail pool: fixed buffers of kFadeFrames stereo frames, a free list and a list of
// tails that sound. Library lock held for every call.
#include "audio/tails.h"

#include <algorithm>
#include <iterator>
#include <new>

namespace wail {

struct Tail {
  float pcm[2 * kFadeFrames]; // the fade, already at the voice's gains
  uint32_t played;            // frames already added to the mix
};

struct TailPool {
  Tail *tails;        // `count` buffers
  uint32_t *sounding; // indexes of the tails that sound, `soundingCount` of them
  uint32_t *free;     // indexes of the free tails, `freeCount` of them
  uint32_t count;
  uint32_t soundingCount;
  uint32_t freeCount;
};

namespace {

// A free tail, or the sounding one with the fewest frames left when none is free.
uint32_t take_tail(TailPool &pool) noexcept {
  if (pool.freeCount > 0) {
    const uint32_t index = pool.free[--pool.freeCount];
    pool.sounding[pool.soundingCount++] = index;
    return index;
  }
  uint32_t best = 0;
  for (uint32_t i = 1; i < pool.soundingCount; ++i)
    if (pool.tails[pool.sounding[i]].played > pool.tails[pool.sounding[best]].played) best = i;
  return pool.sounding[best];
}

} // namespace

TailPool *create_tail_pool(uint32_t count) {
  auto *pool = new (std::nothrow) TailPool{};
  if (pool == nullptr) return nullptr;
  pool->tails = new (std::nothrow) Tail[count];
  pool->sounding = new (std::nothrow) uint32_t[count];
  pool->free = new (std::nothrow) uint32_t[count];
  if (pool->tails == nullptr || pool->sounding == nullptr || pool->free == nullptr) {
    destroy_tail_pool(pool);
    return nullptr;
  }
  pool->count = pool->freeCount = count;
  for (uint32_t i = 0; i < count; ++i) pool->free[i] = count - 1 - i;
  return pool;
}

void destroy_tail_pool(TailPool *pool) {
  if (pool == nullptr) return;
  delete[] pool->tails;
  delete[] pool->sounding;
  delete[] pool->free;
  delete pool;
}

void start_tail(TailPool &pool, const MixState &m) noexcept {
  if (m.kernel == nullptr || m.voice.step == 0 || m.voice.frames == 0 || pool.count == 0) return;
  VoiceMix fade = m.voice;
  if (!wrap_finished_play(fade)) return;
  fade.gainStepLeft = -fade.gainLeft / static_cast<float>(kFadeFrames);
  fade.gainStepRight = -fade.gainRight / static_cast<float>(kFadeFrames);
  Tail &tail = pool.tails[take_tail(pool)];
  std::fill(std::begin(tail.pcm), std::end(tail.pcm), 0.0f);
  tail.played = 0;
  m.kernel(fade, tail.pcm, kFadeFrames);
}

void mix_tails(TailPool &pool, float *mix, uint32_t frames) noexcept {
  for (uint32_t i = 0; i < pool.soundingCount;) {
    const uint32_t index = pool.sounding[i];
    Tail &tail = pool.tails[index];
    const uint32_t n = std::min(frames, kFadeFrames - tail.played);
    const float *from = tail.pcm + 2 * tail.played;
    for (uint32_t k = 0; k < 2 * n; ++k) mix[k] += from[k];
    tail.played += n;
    if (tail.played < kFadeFrames) {
      ++i;
      continue;
    }
    pool.sounding[i] = pool.sounding[--pool.soundingCount];
    pool.free[pool.freeCount++] = index;
  }
}

} // namespace wail
