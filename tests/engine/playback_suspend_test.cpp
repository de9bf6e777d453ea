// Displacement on a busy channel: suspending a resumable sound and resuming it at its byte
// position, dropping an interrupter, and the looping sound that may not displace.
#include "playback_fixture.h"

#include <utility>

namespace {

class SuspendTest : public EngineTest {
protected:
  void SetUp() override {
    EngineTest::SetUp();
    open(1);
    resumable_ = make_sound(&sample_, 1, KSFX_RESUME);
    resumable_.id = -4;
    interrupter_ = make_sound(&sample_, 5);
    interrupter_.id = -3;
    ASSERT_EQ(KSFX_PlaySFX(&resumable_), 1);
    fake::advance(handle(0), 1234);
    ASSERT_EQ(KSFX_PlaySFX(&interrupter_), 1);
  }
  void expect_resumed_at_1234() {
    EXPECT_EQ(channel(0).current, &resumable_);
    EXPECT_EQ(channel(0).suspended, nullptr);
    EXPECT_EQ(resumable_.status, 1u);
    EXPECT_EQ(resumable_.channel, &channel(0));
    EXPECT_EQ(voice(0).position, 1234u);
    EXPECT_EQ(voice(0).status, (uint32_t)SMP_PLAYING);
    EXPECT_EQ(voice(0).userData[1], 0);
  }

  SampleRecord sample_ = make_sample();
  SoundRecord resumable_{};
  SoundRecord interrupter_{};
};

TEST_F(SuspendTest, SuspendsAtPositionAndResumesWhenInterrupterEndsByItself) {
  EXPECT_EQ(channel(0).suspended, &resumable_);
  EXPECT_EQ(channel(0).suspendedPos, 1234u);
  EXPECT_EQ(channel(0).current, &interrupter_);
  EXPECT_EQ(voice(0).userData[1], 1);
  // The suspended duplicate's slot is freed by the callback inside the suspension.
  EXPECT_EQ(resumable_.status, 0u);
  EXPECT_EQ(resumable_.id, -1);

  KSFX_StopSFX(&resumable_); // not playing: nothing happens
  EXPECT_EQ(channel(0).suspended, &resumable_);

  fake::finish_sample(handle(0));
  expect_resumed_at_1234();
  EXPECT_EQ(interrupter_.status, 0u);
  EXPECT_EQ(interrupter_.id, -1);
  EXPECT_EQ(resumable_.id, -1);
}

TEST_F(SuspendTest, ResumesWhenInterrupterIsStopped) {
  KSFX_StopSFX(&interrupter_);
  expect_resumed_at_1234();
  EXPECT_EQ(interrupter_.id, -1);
  // The resumed sound now ends like any other.
  fake::finish_sample(handle(0));
  EXPECT_EQ(channel(0).current, &engine::g_idleRecord);
  EXPECT_EQ(resumable_.status, 0u);
}

TEST_F(SuspendTest, LaterInterruptersAreDroppedAndTheOldRecordStillResumes) {
  SoundRecord second = make_sound(&sample_, 9, KSFX_RESUME);
  SoundRecord third = make_sound(&sample_, 10);
  // A plain interrupter, then a resumable one, over a held suspended record: both dropped.
  for (auto [incoming, dropped] : {std::pair{&second, &interrupter_}, std::pair{&third, &second}}) {
    fake::clear_calls();
    ASSERT_EQ(KSFX_PlaySFX(incoming), 1);
    EXPECT_EQ(fake::count("AIL_stop_sample"), 1);
    EXPECT_EQ(fake::count("AIL_end_sample"), 0);
    EXPECT_EQ(dropped->status, 0u);
    EXPECT_EQ(dropped->channel, nullptr);
    EXPECT_EQ(channel(0).current, incoming);
    EXPECT_EQ(channel(0).suspended, &resumable_);
    EXPECT_EQ(voice(0).userData[1], 1);
  }
  EXPECT_EQ(interrupter_.id, -3); // a dropped duplicate keeps its slot
  fake::finish_sample(handle(0));
  EXPECT_EQ(third.status, 0u);
  expect_resumed_at_1234();
}

TEST_F(SuspendTest, LoopingSoundDoesNotDisplaceResumableOne) {
  fake::finish_sample(handle(0));
  ASSERT_EQ(channel(0).current, &resumable_);
  SoundRecord looping = make_sound(&sample_, 9, KSFX_LOOP);
  fake::clear_calls();
  EXPECT_EQ(KSFX_PlaySFX(&looping), 1);
  EXPECT_EQ(engine::g_state.lastError, engine::kOk);
  EXPECT_TRUE(fake::calls().empty());
  EXPECT_EQ(looping.status, 0u);
  EXPECT_EQ(channel(0).current, &resumable_);
  EXPECT_EQ(resumable_.status, 1u);
}

TEST_F(SuspendTest, PlainDisplacementStopsThroughTheCallbackWithoutResumeMarker) {
  KSFX_StopSFX(&interrupter_);
  KSFX_StopSFX(&resumable_);
  SoundRecord plain = make_sound(&sample_, 1);
  plain.id = -6;
  ASSERT_EQ(KSFX_PlaySFX(&plain), 1);
  SoundRecord next = make_sound(&sample_, 2);
  fake::clear_calls();
  ASSERT_EQ(KSFX_PlaySFX(&next), 1);
  EXPECT_EQ(fake::count("AIL_end_sample"), 1);
  EXPECT_EQ(plain.id, -1);
  EXPECT_EQ(plain.status, 0u);
  EXPECT_EQ(channel(0).suspended, nullptr);
  EXPECT_EQ(voice(0).userData[1], 0);
  fake::finish_sample(handle(0));
  EXPECT_EQ(channel(0).current, &engine::g_idleRecord);
}

} // namespace
