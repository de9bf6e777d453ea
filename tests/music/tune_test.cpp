// The KTUNE_ state machine and its failure paths, through the recording fake.
#include "ksnd32.h"
#include "music/trace.h"
#include "support/fake_wail.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_traces;

void observe(const char *text, int32_t value, bool isValue) {
  g_traces.push_back(isValue ? std::string(text) + "=" + std::to_string(value) : text);
}

class TuneTest : public ::testing::Test {
protected:
  void SetUp() override {
    KTUNE_ShutDown();
    fake::reset();
    g_traces.clear();
    music::set_trace_observer(observe);
  }
  void TearDown() override {
    music::set_trace_observer(nullptr);
    KTUNE_ShutDown();
  }
  bool traced(const std::string &text) const {
    for (const std::string &t : g_traces)
      if (t == text) return true;
    return false;
  }
  const unsigned char data_[4] = {1, 2, 3, 4};
};

TEST_F(TuneTest, InitOpensMapperAndAllocatesSequence) {
  EXPECT_EQ(KTUNE_Init(), 1);
  EXPECT_EQ(fake::call_names(), (std::vector<std::string>{"midiOutGetNumDevs", "AIL_midiOutOpen",
                                                          "AIL_allocate_sequence_handle"}));
  EXPECT_EQ(fake::calls()[1].args[0], -1);
  EXPECT_TRUE(traced("Number of MIDI devices=1"));
  // A second init opens nothing and keeps a bound tune bound.
  ASSERT_EQ(KTUNE_InitTune(data_, 2), 1);
  fake::clear_calls();
  EXPECT_EQ(KTUNE_Init(), 1);
  EXPECT_TRUE(traced("Init called when already initialised."));
  EXPECT_TRUE(fake::calls().empty());
  EXPECT_EQ(KTUNE_StartTune(), 1);
}

TEST_F(TuneTest, NoMidiDeviceFailsWithoutOpeningAndLeavesEverythingRefusing) {
  fake::config().midiDevices = 0;
  EXPECT_EQ(KTUNE_Init(), 0);
  EXPECT_TRUE(traced("No MIDI devices!"));
  EXPECT_EQ(fake::count("AIL_midiOutOpen"), 0);
  EXPECT_EQ(KTUNE_InitTune(data_, 0), 0);
  EXPECT_EQ(KTUNE_StartTune(), 0);
  EXPECT_EQ(KTUNE_ResumeTune(), 0);
  EXPECT_EQ(KTUNE_SetRepeats(2), 0);
  EXPECT_EQ(KTUNE_CurrentlyPlaying(), 0);
  EXPECT_EQ(KTUNE_SetVolume(100), 0);
  EXPECT_EQ(KTUNE_SetTempo(100), 0);
  EXPECT_EQ(KTUNE_GetTempo(), 0);
  EXPECT_EQ(KTUNE_StopTune(), 1);
  fake::clear_calls();
  EXPECT_EQ(KTUNE_ShutDown(), 1);
  EXPECT_TRUE(fake::calls().empty());
}

TEST_F(TuneTest, MapperFailingFallsBackToDeviceZeroOnce) {
  fake::config().mapperOpens = false;
  EXPECT_EQ(KTUNE_Init(), 1);
  ASSERT_EQ(fake::count("AIL_midiOutOpen"), 2);
  EXPECT_EQ(fake::calls()[2].args[0], 0);

  KTUNE_ShutDown();
  fake::reset();
  fake::config().mapperOpens = false;
  fake::config().device0Opens = false;
  EXPECT_EQ(KTUNE_Init(), 0);
  EXPECT_EQ(fake::count("AIL_midiOutOpen"), 2);
  EXPECT_TRUE(traced("No MIDI devices at all!"));
  EXPECT_EQ(KTUNE_StartTune(), 0);
}

TEST_F(TuneTest, NoSequenceHandleLeavesSystemClosed) {
  fake::config().sequenceHandleAvailable = false;
  EXPECT_EQ(KTUNE_Init(), 0);
  EXPECT_TRUE(traced("No sequence handles!"));
  EXPECT_EQ(fake::count("AIL_midiOutClose"), 1);
  EXPECT_EQ(KTUNE_InitTune(data_, 0), 0);
  EXPECT_TRUE(traced("System not initialised for InitTune!"));
  // Once handles are available again a new init succeeds.
  fake::config().sequenceHandleAvailable = true;
  EXPECT_EQ(KTUNE_Init(), 1);
}

TEST_F(TuneTest, CallsBeforeInitAndBeforeBindingMakeNoAudioCall) {
  EXPECT_EQ(KTUNE_StartTune(), 0);
  EXPECT_TRUE(traced("System not initialised for StartTune!"));
  EXPECT_EQ(KTUNE_StopTune(), 1);
  EXPECT_EQ(KTUNE_ResumeTune(), 0);
  ASSERT_EQ(KTUNE_Init(), 1);
  fake::clear_calls();
  EXPECT_EQ(KTUNE_StartTune(), 0);
  EXPECT_TRUE(traced("Tried to play a tune, when none has been initialised!"));
  EXPECT_EQ(KTUNE_StopTune(), 0);
  EXPECT_TRUE(traced("No tune initialised to stop!"));
  EXPECT_EQ(KTUNE_ResumeTune(), 0);
  EXPECT_TRUE(traced("Can't resume a tune if none has been initialised!"));
  EXPECT_EQ(KTUNE_GetTempo(), 0);
  EXPECT_TRUE(fake::calls().empty());
}

TEST_F(TuneTest, BoundTunePassesValuesThroughUnchanged) {
  ASSERT_EQ(KTUNE_Init(), 1);
  ASSERT_EQ(KTUNE_InitTune(data_, 3), 1);
  EXPECT_EQ(fake::sequence().data, data_);
  EXPECT_EQ(fake::sequence().number, 3);
  EXPECT_EQ(KTUNE_StartTune(), 1);
  EXPECT_EQ(KTUNE_CurrentlyPlaying(), 1);
  EXPECT_EQ(KTUNE_SetRepeats(-7), 1);
  EXPECT_EQ(fake::sequence().loopCount, -7);
  fake::clear_calls();
  EXPECT_EQ(KTUNE_SetVolume(1000), 1);
  EXPECT_EQ(KTUNE_SetTempo(250), 1);
  ASSERT_EQ(fake::calls().size(), 2u);
  EXPECT_EQ(fake::calls()[0].args[1], 1000);
  EXPECT_EQ(fake::calls()[0].args[2], 0);
  EXPECT_EQ(fake::calls()[1].args[2], 0);
  EXPECT_EQ(KTUNE_GetTempo(), 250);
  EXPECT_EQ(KTUNE_StopTune(), 1);
  EXPECT_EQ(KTUNE_CurrentlyPlaying(), 0);
  EXPECT_EQ(KTUNE_ResumeTune(), 1);
  EXPECT_EQ(KTUNE_CurrentlyPlaying(), 1);
}

TEST_F(TuneTest, BogusSequenceKeepsOldBindingAfterStoppingThePlayingTune) {
  ASSERT_EQ(KTUNE_Init(), 1);
  ASSERT_EQ(KTUNE_InitTune(data_, 0), 1);
  ASSERT_EQ(KTUNE_StartTune(), 1);
  fake::config().initSequenceResult = 0;
  fake::clear_calls();
  EXPECT_EQ(KTUNE_InitTune(data_ + 1, 0), 0);
  EXPECT_TRUE(traced("Sequence is bogus!"));
  EXPECT_EQ(fake::count("AIL_stop_sequence"), 1);
  EXPECT_EQ(KTUNE_StartTune(), 1); // still bound
  // A negative answer counts as accepted.
  fake::config().initSequenceResult = -1;
  EXPECT_EQ(KTUNE_InitTune(data_, 1), 1);
}

TEST_F(TuneTest, ShutDownStopsPlayingTuneClosesDriverAndUnbinds) {
  ASSERT_EQ(KTUNE_Init(), 1);
  ASSERT_EQ(KTUNE_InitTune(data_, 0), 1);
  ASSERT_EQ(KTUNE_StartTune(), 1);
  fake::clear_calls();
  EXPECT_EQ(KTUNE_ShutDown(), 1);
  EXPECT_EQ(
      fake::call_names(),
      (std::vector<std::string>{"AIL_sequence_status", "AIL_stop_sequence", "AIL_midiOutClose"}));
  EXPECT_EQ(KTUNE_StartTune(), 0);
  // A new init opens a new driver and sequence; no tune is bound until the next InitTune.
  fake::clear_calls();
  EXPECT_EQ(KTUNE_Init(), 1);
  EXPECT_EQ(fake::count("AIL_midiOutOpen"), 1);
  EXPECT_EQ(fake::count("AIL_allocate_sequence_handle"), 1);
  EXPECT_EQ(KTUNE_StartTune(), 0);
}

} // namespace
