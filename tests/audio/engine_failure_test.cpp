// The engine's failure paths over the real audio library: a start-up that fails after opening
// the driver can be retried, and MIDI data in a block of known size is never parsed past it,
// however it is cut (each case lies in a block of exactly its size, so ASan sees any overread).
#include "engine/state.h"
#include "ksnd32.h"
#include "midi_test_tunes.h"
#include "music/trace.h"
#include "platform/memory.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

using namespace midi_test;

TEST(StartUpRetry, FailureAfterTheDriverOpenedLeavesNothingOpenSoARetrySucceeds) {
  for (const char *output : {"offline", "null"}) {
    SCOPED_TRACE(output);
    setenv("KSND_AUDIO", output, 1);
    EXPECT_EQ(KSOUNDInit(300, 16), 0); // more channels than the library has voices
    EXPECT_EQ(engine::g_state.lastError, engine::kTooFewHandles);
    ASSERT_EQ(KSOUNDInit(16, 16), 1);
    KSOUNDClose();
    platform::fail_nth_allocation(1); // the channel table
    EXPECT_EQ(KSOUNDInit(16, 16), 0);
    EXPECT_EQ(engine::g_state.lastError, engine::kOutOfMemory);
    platform::fail_nth_allocation(0);
    ASSERT_EQ(KSOUNDInit(16, 16), 1);
    KSOUNDClose();
  }
}

const char *g_lastTrace = nullptr;
void remember_trace(const char *text, int32_t, bool) { g_lastTrace = text; }

class BoundedTune : public ::testing::Test {
protected:
  void SetUp() override {
    setenv("KSND_AUDIO", "offline", 1);
    ASSERT_EQ(KSOUNDInit(1, 16), 1);
    music::set_trace_observer(remember_trace);
  }
  void TearDown() override {
    music::set_trace_observer(nullptr);
    KSOUNDClose();
  }
  // KTUNE_InitTune over the first `size` bytes of `data`, copied into a block of that size.
  static int32_t bind_prefix(const Bytes &data, size_t size, int32_t number = 0) {
    void *block = platform::global_alloc(size);
    std::memcpy(block, data.data(), size);
    g_lastTrace = nullptr;
    int32_t result = KTUNE_InitTune(block, number);
    GlobalFree(block);
    return result;
  }
};

TEST_F(BoundedTune, EveryCutOfAFileReadIntoABlockIsRefusedWithoutReadingPastIt) {
  Bytes moreTracks = reference_smf();
  moreTracks[11] = 3; // the header claims three tracks; one follows
  const std::pair<const char *, Bytes> files[] = {
      {"SMF", reference_smf()}, {"XMIDI", reference_xmidi()}, {"too many tracks", moreTracks}};
  for (const auto &[what, data] : files) {
    for (size_t size = 0; size < data.size(); ++size) {
      ASSERT_EQ(bind_prefix(data, size), 0) << what << " cut to " << size;
      ASSERT_STREQ(g_lastTrace, "Sequence is bogus!") << what << " cut to " << size;
    }
  }
  EXPECT_EQ(bind_prefix(reference_smf(), reference_smf().size()), 1);
  EXPECT_EQ(bind_prefix(reference_xmidi(), reference_xmidi().size()), 1);
}

} // namespace
