// Accounting of sample starts, for tests and the API fuzzer: every start of a voice ends in
// exactly one callback delivered by the library, one halt (AIL_stop_sample or AIL_end_sample of
// a playing voice, or a new start that cuts it off), or is still playing. Relaxed atomics,
// bumped where each event happens.
#pragma once

#include <atomic>
#include <cstdint>

namespace wail {

struct StartCounters {
  std::atomic<uint64_t> starts;    // AIL_start_sample calls on a valid handle
  std::atomic<uint64_t> delivered; // ends the library reported and called back
  std::atomic<uint64_t> halts;     // stop, end or restart of a playing voice
};

inline StartCounters g_counters{};

inline void count(std::atomic<uint64_t> &counter) noexcept {
  counter.fetch_add(1, std::memory_order_relaxed);
}

// A start; one that restarts a voice still playing also halts the start before it.
inline void count_start(bool wasPlaying) noexcept {
  if (wasPlaying) count(g_counters.halts);
  count(g_counters.starts);
}

} // namespace wail
