// Group records: sequential and random element order, stopping a group, groups that must be
// refused, and groups meeting suspension.
#include "playback_fixture.h"

#include <array>
#include <vector>

namespace {

class GroupTest : public EngineTest {
protected:
  void SetUp() override {
    EngineTest::SetUp();
    open(1);
    for (int i = 0; i < 3; ++i) {
      samples_[i] = make_sample(8000u + (uint32_t)i);
      elements_[i] = make_sound(&samples_[i], 0);
      list_[i] = &elements_[i];
    }
  }
  SoundRecord make_group(uint16_t flags, SoundRecord **list, uint32_t count = 3) {
    SoundRecord g = make_sound(nullptr, 2, (uint16_t)(KSFX_GROUP | flags));
    g.list = list;
    g.listCount = count;
    return g;
  }
  long entry(const SoundRecord &group) { return group.listPos - group.list; }

  std::array<SampleRecord, 3> samples_{};
  std::array<SoundRecord, 3> elements_{};
  std::array<SoundRecord *, 4> list_{}; // three elements and the null entry
};

TEST_F(GroupTest, SequentialGroupPlaysEachElementOnceThenEnds) {
  elements_[1].flags = KSFX_RESUME;
  elements_[2].volume = 33;
  SoundRecord group = make_group(0, list_.data());
  group.id = -7;
  ASSERT_EQ(KSFX_PlaySFX(&group), 1);
  std::vector<int32_t> rates{voice(0).rate};
  EXPECT_EQ(group.flags & KSFX_RESUME, 0);
  fake::finish_sample(handle(0));
  rates.push_back(voice(0).rate);
  EXPECT_EQ(group.flags & KSFX_RESUME, KSFX_RESUME); // taken from the element playing
  fake::finish_sample(handle(0));
  rates.push_back(voice(0).rate);
  EXPECT_EQ(group.flags & KSFX_RESUME, 0);
  EXPECT_EQ(voice(0).volume, 33);
  EXPECT_EQ(group.status, 1u);
  fake::finish_sample(handle(0));

  EXPECT_EQ(rates, (std::vector<int32_t>{8000, 8001, 8002}));
  EXPECT_EQ(fake::count("AIL_start_sample"), 3);
  EXPECT_EQ(group.status, 0u);
  EXPECT_EQ(group.id, -1);
  EXPECT_EQ(channel(0).current, &engine::g_idleRecord);
}

TEST_F(GroupTest, StopDuringSecondElementEndsTheGroupAndKeepsItsFlag) {
  SoundRecord group = make_group(0, list_.data());
  ASSERT_EQ(KSFX_PlaySFX(&group), 1);
  fake::finish_sample(handle(0));
  ASSERT_EQ(entry(group), 1);
  KSFX_StopSFX(&group);
  EXPECT_EQ(fake::count("AIL_start_sample"), 2);
  EXPECT_EQ(group.status, 0u);
  EXPECT_EQ(group.flags & KSFX_GROUP, KSFX_GROUP);
  EXPECT_EQ(channel(0).current, &engine::g_idleRecord);
}

TEST_F(GroupTest, RandomGroupFollowsTheLibraryGeneratorAndNeverEndsByItself) {
  SoundRecord group = make_group(KSFX_RANDOM, list_.data());
  ASSERT_EQ(KSFX_PlaySFX(&group), 1);
  std::vector<long> picks{entry(group)};
  for (int i = 0; i < 4; ++i) {
    fake::finish_sample(handle(0));
    picks.push_back(entry(group));
    EXPECT_EQ(voice(0).rate, 8000 + picks.back());
  }
  EXPECT_EQ(picks, (std::vector<long>{2, 2, 1, 1, 2}));
  EXPECT_EQ(group.status, 1u);
  KSFX_StopSFX(&group);
  EXPECT_EQ(group.status, 0u);
}

TEST_F(GroupTest, GroupsWithoutElementsAreRefusedWithoutMovingTheGenerator) {
  std::array<SoundRecord *, 1> empty{nullptr};
  SoundRecord noList = make_group(0, nullptr);
  SoundRecord emptyList = make_group(0, empty.data());
  SoundRecord noCount = make_group(KSFX_RANDOM, list_.data(), 0);
  fake::clear_calls();
  for (SoundRecord *g : {&noList, &emptyList, &noCount}) {
    EXPECT_EQ(KSFX_PlaySFX(g), 0);
    EXPECT_EQ(engine::g_state.lastError, engine::kNoChannel);
    EXPECT_EQ(g->status, 0u);
  }
  EXPECT_TRUE(fake::calls().empty());
  EXPECT_EQ(engine::next_random(), 41u);
}

TEST_F(GroupTest, RandomPickStaysInsideTheListAndNeverDividesByZero) {
  std::array<SoundRecord *, 2> shortList{&elements_[0], nullptr};
  SoundRecord group = make_group(KSFX_RANDOM, shortList.data(), 5);
  ASSERT_EQ(KSFX_PlaySFX(&group), 1);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(entry(group), 0);
    fake::finish_sample(handle(0));
  }
  EXPECT_EQ(group.status, 1u);
  // A count cleared while it plays ends the group instead of dividing by zero.
  group.listCount = 0;
  fake::finish_sample(handle(0));
  EXPECT_EQ(group.status, 0u);
  EXPECT_EQ(channel(0).current, &engine::g_idleRecord);
}

TEST_F(GroupTest, InterruptingGroupEndsAfterOneElementAndSuspendedGroupEndsAtListEnd) {
  // A group on its last, resumable element is suspended, resumed and then ends.
  elements_[0].flags = KSFX_RESUME;
  std::array<SoundRecord *, 2> one{&elements_[0], nullptr};
  SoundRecord suspendedGroup = make_group(0, one.data());
  ASSERT_EQ(KSFX_PlaySFX(&suspendedGroup), 1);
  fake::advance(handle(0), 77);

  SoundRecord interrupting = make_group(0, list_.data());
  interrupting.priority = 9;
  ASSERT_EQ(KSFX_PlaySFX(&interrupting), 1);
  EXPECT_EQ(channel(0).suspended, &suspendedGroup);
  EXPECT_EQ(suspendedGroup.status, 0u);

  fake::finish_sample(handle(0));
  EXPECT_EQ(interrupting.status, 0u);
  EXPECT_EQ(entry(interrupting), 0);
  EXPECT_EQ(channel(0).current, &suspendedGroup);
  EXPECT_EQ(voice(0).position, 77u);
  EXPECT_EQ(voice(0).rate, 8000);

  fake::finish_sample(handle(0));
  EXPECT_EQ(suspendedGroup.status, 0u);
  EXPECT_EQ(channel(0).current, &engine::g_idleRecord);
}

} // namespace
