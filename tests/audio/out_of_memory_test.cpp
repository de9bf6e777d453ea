// Running out of memory through the C API, over the real audio library: global operator new is
// replaced by a countdown that throws std::bad_alloc at the n-th allocation, swept over every
// allocation of KSOUNDInit (the device lists, the SoundFont search) and of KTUNE_InitTune (the
// parser, the synthesiser). Each call must return its failure value instead of throwing, leave
// nothing allocated (LeakSanitizer checks at exit), and the next normal call must succeed.
#include "engine/state.h"
#include "ksnd32.h"
#include "midi_test_tunes.h"
#include "music/trace.h"
#include "platform/memory.h"

#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <new>

namespace {

// > 0: the allocation that brings it to 0 throws. Any thread.
std::atomic<long> g_countdown{0};

// Arms the countdown for `n` allocations, runs `call`, disarms; true when the n-th came.
template <typename Call> bool throw_at(long n, Call &&call) {
  g_countdown.store(n);
  call();
  return g_countdown.exchange(0) <= 0;
}

const char *g_lastTrace = nullptr; // the observer must not allocate
void remember_trace(const char *text, int32_t, bool) { g_lastTrace = text; }

constexpr long kMostAllocations = 10000;

} // namespace

// The replaceable allocation functions (all but the aligned ones, which keep the runtime's
// pair): each counts down, then takes its block from malloc.
namespace {
void *allocate(std::size_t size) noexcept {
  if (g_countdown.load(std::memory_order_relaxed) > 0 && g_countdown.fetch_sub(1) == 1)
    return nullptr;
  return std::malloc(size ? size : 1);
}
void *allocate_or_throw(std::size_t size) {
  if (void *block = allocate(size)) return block;
  throw std::bad_alloc();
}
} // namespace

void *operator new(std::size_t size) { return allocate_or_throw(size); }
void *operator new[](std::size_t size) { return allocate_or_throw(size); }
void *operator new(std::size_t size, const std::nothrow_t &) noexcept { return allocate(size); }
void *operator new[](std::size_t size, const std::nothrow_t &) noexcept { return allocate(size); }
void operator delete(void *block) noexcept { std::free(block); }
void operator delete[](void *block) noexcept { std::free(block); }
void operator delete(void *block, std::size_t) noexcept { std::free(block); }
void operator delete[](void *block, std::size_t) noexcept { std::free(block); }
void operator delete(void *block, const std::nothrow_t &) noexcept { std::free(block); }
void operator delete[](void *block, const std::nothrow_t &) noexcept { std::free(block); }

namespace {

TEST(OutOfMemory, KsoundInitFailsCleanlyAtEveryAllocationAndTheRetrySucceeds) {
  setenv("KSND_AUDIO", "offline", 1);
  const long blocks = platform::live_blocks();
  long n = 1;
  for (; n < kMostAllocations; ++n) {
    SCOPED_TRACE(n);
    engine::g_state.lastError = engine::kNoChannel;
    int32_t result = -1;
    const bool ranOut = throw_at(n, [&] { result = KSOUNDInit(16, 16); });
    if (result == 1) { // done, or the allocation that failed was one it can do without
      EXPECT_NE(KSFX_GetChannel(15), nullptr);
      KSOUNDClose();
      if (!ranOut) break; // fewer than n allocations: the sweep is complete
      continue;
    }
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(ranOut);
    EXPECT_EQ(KSFX_GetChannel(0), nullptr);
    EXPECT_EQ(platform::live_blocks(), blocks);
    // The engine's own allocations report code 5. The audio library keeps its exceptions in and
    // reports what failed: an empty device list (1), no format (2) or a refused open (3). A music
    // start-up that ran out reports only its result, as a music failure does.
    const int32_t code = engine::g_state.lastError;
    EXPECT_TRUE((code >= engine::kNoWaveDevice && code <= engine::kOutOfMemory) ||
                code == engine::kNoChannel)
        << engine::g_state.lastError;
    ASSERT_EQ(KSOUNDInit(16, 16), 1);
    KSOUNDClose();
  }
  EXPECT_GT(n, 1);
}

TEST(OutOfMemory, KtuneInitTuneFailsAsABogusSequenceAtEveryAllocationAndTheRetrySucceeds) {
  setenv("KSND_AUDIO", "offline", 1);
  music::set_trace_observer(remember_trace);
  const midi_test::Bytes tune = midi_test::reference_smf();
  long n = 1;
  for (; n < kMostAllocations; ++n) {
    SCOPED_TRACE(n);
    ASSERT_EQ(KSOUNDInit(1, 16), 1); // a fresh synthesiser each time: its creation is swept too
    g_lastTrace = nullptr;
    int32_t result = -1;
    const bool ranOut = throw_at(n, [&] { result = KTUNE_InitTune(tune.data(), 0); });
    if (result == 1) { // done, or the allocation that failed was one it can do without
      EXPECT_EQ(KTUNE_StartTune(), 1);
      KSOUNDClose();
      if (!ranOut) break; // fewer than n allocations: the sweep is complete
      continue;
    }
    EXPECT_TRUE(ranOut);
    EXPECT_STREQ(g_lastTrace, "Sequence is bogus!");
    EXPECT_EQ(KTUNE_InitTune(tune.data(), 0), 1);
    EXPECT_EQ(KTUNE_StartTune(), 1);
    KSOUNDClose();
  }
  EXPECT_GT(n, 1);
  music::set_trace_observer(nullptr);
}

} // namespace
