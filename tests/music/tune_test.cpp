// The KTUNE_ state machine and its failure paths, through the recording fake.
#include "ksnd32.h"
#include "music/trace.h"
#include "platform/memory.h"
#include "support/fake_wail.h"

#include <algorithm>
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
    return std::find(g_traces.begin(), g_traces.end(), text) != g_traces.end();
  }
  const unsigned char data_[4] = {1, 2, 3, 4};
};

TEST_F(TuneTest, InitOpensTheMapperElseDeviceZeroAndEachFailureLeavesMusicClosed) {
  struct Case {
    void (*configure)();
    int32_t result;
    std::vector<intptr_t> devicesOpened;
    int closes;
    const char *trace;
  };
  const Case cases[] = {
      {[] {}, 1, {-1}, 0, "Number of MIDI devices=1"},
      {[] { fake::config().mapperOpens = false; }, 1, {-1, 0}, 0, "Number of MIDI devices=1"},
      {[] { fake::config().midiDevices = 0; }, 0, {}, 0, "No MIDI devices!"},
      {[] { fake::config().mapperOpens = fake::config().device0Opens = false; },
       0,
       {-1, 0},
       0,
       "No MIDI devices at all!"},
      {[] { fake::config().sequenceHandleAvailable = false; }, 0, {-1}, 1, "No sequence handles!"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.trace);
    KTUNE_ShutDown();
    fake::reset();
    c.configure();
    EXPECT_EQ(KTUNE_Init(), c.result);
    EXPECT_TRUE(traced(c.trace));
    std::vector<intptr_t> opened;
    for (const fake::Call &call : fake::calls())
      if (call.name == "AIL_midiOutOpen") opened.push_back(call.args[0]);
    EXPECT_EQ(opened, c.devicesOpened);
    EXPECT_EQ(fake::count("AIL_midiOutClose"), c.closes);
    EXPECT_EQ(KTUNE_StartTune(), 0); // no tune bound
    fake::reset();
    EXPECT_EQ(KTUNE_Init(), 1); // a later init succeeds
  }
}

TEST_F(TuneTest, CallsBeforeInitOrBindingRefuseAndASecondInitKeepsTheBinding) {
  const std::vector<int32_t> results{
      KTUNE_InitTune(data_, 0), KTUNE_StartTune(),    KTUNE_ResumeTune(),  KTUNE_SetRepeats(2),
      KTUNE_CurrentlyPlaying(), KTUNE_SetVolume(100), KTUNE_SetTempo(100), KTUNE_GetTempo(),
      KTUNE_StopTune(),         KTUNE_ShutDown()};
  EXPECT_EQ(results, (std::vector<int32_t>{0, 0, 0, 0, 0, 0, 0, 0, 1, 1})); // stop and shut-down 1
  EXPECT_TRUE(traced("System not initialised for StartTune!"));
  EXPECT_TRUE(fake::calls().empty());
  ASSERT_EQ(KTUNE_Init(), 1);
  fake::clear_calls();
  EXPECT_EQ(KTUNE_StartTune(), 0);
  EXPECT_TRUE(traced("Tried to play a tune, when none has been initialised!"));
  EXPECT_EQ(KTUNE_StopTune(), 0);
  EXPECT_TRUE(traced("No tune initialised to stop!"));
  EXPECT_EQ(KTUNE_ResumeTune(), 0);
  EXPECT_TRUE(traced("Can't resume a tune if none has been initialised!"));
  EXPECT_TRUE(fake::calls().empty());
  // A second init opens nothing and keeps a bound tune bound.
  ASSERT_EQ(KTUNE_InitTune(data_, 2), 1);
  fake::clear_calls();
  EXPECT_EQ(KTUNE_Init(), 1);
  EXPECT_TRUE(traced("Init called when already initialised."));
  EXPECT_TRUE(fake::calls().empty());
  EXPECT_EQ(KTUNE_StartTune(), 1);
}

TEST_F(TuneTest, BoundTunePassesValuesThroughSurvivesABogusSequenceAndShutDownUnbindsIt) {
  ASSERT_EQ(KTUNE_Init(), 1);
  ASSERT_EQ(KTUNE_InitTune(data_, 3), 1);
  EXPECT_EQ(fake::sequence().data, data_);
  EXPECT_EQ(fake::sequence().number, 3);
  EXPECT_EQ(KTUNE_StartTune(), 1);
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
  // A bogus sequence stops the tune but keeps the old binding; a negative answer is accepted.
  fake::config().initSequenceResult = 0;
  fake::clear_calls();
  EXPECT_EQ(KTUNE_InitTune(data_ + 1, 0), 0);
  EXPECT_TRUE(traced("Sequence is bogus!"));
  EXPECT_EQ(fake::count("AIL_stop_sequence"), 1);
  EXPECT_EQ(KTUNE_StartTune(), 1);
  fake::config().initSequenceResult = -1;
  EXPECT_EQ(KTUNE_InitTune(data_, 1), 1);
  // Shut-down stops the playing tune, closes the driver and unbinds; a new init binds nothing.
  ASSERT_EQ(KTUNE_StartTune(), 1);
  fake::clear_calls();
  EXPECT_EQ(KTUNE_ShutDown(), 1);
  EXPECT_EQ(
      fake::call_names(),
      (std::vector<std::string>{"AIL_sequence_status", "AIL_stop_sequence", "AIL_midiOutClose"}));
  EXPECT_EQ(KTUNE_Init(), 1);
  EXPECT_EQ(KTUNE_StartTune(), 0);
}

TEST_F(TuneTest, DataInABlockOfKnownSizeIsBoundByThatSizeOtherMemoryAsBefore) {
  ASSERT_EQ(KTUNE_Init(), 1);
  void *block = platform::global_alloc(77); // as KSFX_FileRead hands out
  fake::clear_calls();
  EXPECT_EQ(KTUNE_InitTune(block, 2), 1);
  EXPECT_EQ(KTUNE_InitTune(data_, 1), 1);
  fake::config().initSequenceResult = 0;
  EXPECT_EQ(KTUNE_InitTune(block, 0), 0);
  EXPECT_TRUE(traced("Sequence is bogus!"));
  std::vector<std::vector<intptr_t>> binds;
  for (const fake::Call &call : fake::calls())
    if (call.name.rfind("AIL_init_sequence", 0) == 0) binds.push_back(call.args);
  const auto sequence = binds.at(0).at(0), at = (intptr_t)block;
  EXPECT_EQ(binds,
            (std::vector<std::vector<intptr_t>>{
                {sequence, at, 77, 2}, {sequence, (intptr_t)data_, 1}, {sequence, at, 77, 0}}));
  platform::global_free(block);
}

} // namespace
