// Listener placement: the exact volume and pan table, the envelope's extremes, KSFX_Play3DSFX
// playing or updating, and ear moves re-placing playing and suspended placed sounds.
#include "engine/channels.h"
#include "engine/placement.h"
#include "engine/state.h"
#include "ksnd32.h"
#include "support/fake_wail.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

class PlacementTest : public ::testing::Test {
protected:
  void SetUp() override {
    KSOUNDClose();
    KTUNE_ShutDown();
    fake::reset();
    engine::g_state = {};
    saved_ = engine::g_listener;
    engine::g_listener = {0, 0, 0, 6};
    sample_.data = pcm_;
    sample_.length = sizeof pcm_;
    sample_.rate = 11025;
    sample_.volume = 100;
    sample_.pan = 64;
  }
  void TearDown() override {
    KSOUNDClose();
    KTUNE_ShutDown();
    engine::g_state = {};
    engine::g_listener = saved_;
  }

  SoundRecord sound(uint32_t priority = 1, uint16_t flags = 0) {
    SoundRecord r{};
    r.priority = priority;
    r.sample = &sample_;
    r.flags = flags;
    r.rate = -1;
    r.volume = r.pan = -1;
    r.baseVolume = 100;
    return r;
  }
  struct Placed {
    int32_t volume, pan;
  };
  Placed place(int16_t x, int16_t y, uint32_t baseVolume = 100) {
    SoundRecord r = sound();
    r.baseVolume = baseVolume;
    engine::Compute3DPlacement(&r, x, y, nullptr, nullptr, nullptr);
    return Placed{r.volume, r.pan};
  }
  static HSAMPLE handle(int k) { return engine::g_channels.table[k].handle; }

  engine::Listener saved_{};
  SampleRecord sample_{};
  uint8_t pcm_[64] = {};
};

TEST_F(PlacementTest, VolumeAndPanAroundTheEarFacingMinusY) {
  struct Case {
    int16_t x, y;
    int32_t volume, pan;
  };
  const Case cases[] = {{60, 0, 92, 114}, {-60, 0, 92, 15}, {0, 60, 92, 50},
                        {0, -60, 92, 50}, {30, 40, 93, 76}, {0, 0, 100, 49},
                        {700, 0, 8, 127}, {762, 0, 0, 128}, {-2000, 0, 0, 1}};
  // Far left gets 1, not 0: -x lies at bearing 383, one short of the mirror of +x.
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
    Placed p = place(c.x, c.y);
    EXPECT_EQ(p.volume, c.volume);
    EXPECT_EQ(p.pan, c.pan);
  }
  engine::g_listener.earDirection = 128;
  EXPECT_EQ(place(0, 60).pan, 114);
  EXPECT_EQ(place(60, 0).pan, 50);
  engine::g_listener.earDirection = -1;
  EXPECT_EQ(place(60, 0).pan, 113);
  // The ear's position is subtracted first; the rate passes through unchanged.
  engine::g_listener = {100, -50, 0, 6};
  SoundRecord r = sound();
  r.rate = 22050;
  int32_t rate = 0, volume = 0, pan = 0;
  engine::Compute3DPlacement(&r, 160, -50, &rate, &volume, &pan);
  EXPECT_EQ(r.x, 160);
  EXPECT_EQ(r.y, -50);
  EXPECT_EQ(rate, 22050);
  EXPECT_EQ(volume, r.volume);
  EXPECT_EQ(pan, 114);
}

TEST_F(PlacementTest, EnvelopeExtremesFarPositionsAndBaseVolumeMinusOne) {
  engine::g_listener.envelope = 0; // no fall-off, also on the ear itself
  EXPECT_EQ(place(700, 0).volume, 100);
  EXPECT_EQ(place(0, 0).volume, 100);
  engine::g_listener.envelope = -6; // louder with distance: level 137
  EXPECT_EQ(place(60, 0).volume, 107);
  // Positions 65535 apart: the true distance, silent.
  engine::g_listener = {-32768, -32768, 0, 6};
  EXPECT_EQ(place(32767, 32767).volume, 0);
  engine::g_listener.envelope = 32767; // 92680 / 32767: 2 steps
  EXPECT_EQ(place(32767, 32767, 127).volume, 125);
  // baseVolume -1 is the sample's volume.
  engine::g_listener = {0, 0, 0, 6};
  sample_.volume = 80;
  EXPECT_EQ(place(60, 0, UINT32_MAX).volume, 80 * 117 / 127);
}

TEST_F(PlacementTest, BeforeStartUpPlay3DIsRefusedAndEarMovesOnlyStoreTheListener) {
  SoundRecord r = sound();
  SoundRecord before = r;
  EXPECT_EQ(KSFX_Play3DSFX(&r, 60, 0), 0);
  EXPECT_EQ(engine::g_state.lastError, engine::kNotInitialised);
  EXPECT_EQ(std::memcmp(&r, &before, sizeof r), 0);
  // Moving the ear with no channel table only stores the listener.
  KSFX_SetEarPos(5, 6, 7);
  int16_t x = 0, y = 0, direction = 0;
  KSFX_GetEarPos(&x, &y, &direction);
  EXPECT_EQ(x, 5);
  EXPECT_EQ(y, 6);
  EXPECT_EQ(direction, 7);
  KSFX_GetEarPos(nullptr, nullptr, nullptr);
  EXPECT_TRUE(fake::calls().empty());
  // Start-up and shutdown leave the listener alone.
  ASSERT_EQ(KSOUNDInit(1, 16), 1);
  KSOUNDClose();
  KSFX_GetEarPos(&x, nullptr, nullptr);
  EXPECT_EQ(x, 5);
}

TEST_F(PlacementTest, Play3DPlaysAtThePlacedValuesThenUpdatesInPlace) {
  ASSERT_EQ(KSOUNDInit(2, 16), 1);
  SoundRecord r = sound();
  ASSERT_EQ(KSFX_Play3DSFX(&r, 60, 0), 1);
  EXPECT_TRUE(r.flags & KSFX_3D);
  ASSERT_EQ(r.status, 1u);
  EXPECT_EQ(fake::sample(handle(0)).volume, 92);
  EXPECT_EQ(fake::sample(handle(0)).pan, 114);
  fake::clear_calls();
  ASSERT_EQ(KSFX_Play3DSFX(&r, -60, 0), 1);
  EXPECT_EQ(fake::count("AIL_start_sample"), 0);
  EXPECT_EQ(fake::sample(handle(0)).pan, 15);
  EXPECT_EQ(r.x, -60);
}

TEST_F(PlacementTest, EarMoveReplacesPlayingSoundsAtOnceAndSuspendedOnesInTheRecord) {
  ASSERT_EQ(KSOUNDInit(2, 16), 1);
  SoundRecord waiting = sound(1, KSFX_RESUME);
  SoundRecord front = sound(5);
  SoundRecord flat = sound(1); // not placed: never re-placed
  ASSERT_EQ(KSFX_Play3DSFX(&waiting, 60, 0), 1);
  ASSERT_EQ(KSFX_PlaySFX(&flat), 1);
  ASSERT_EQ(KSFX_Play3DSFX(&front, 0, 60), 1); // displaces `waiting` on channel 0
  ASSERT_EQ(engine::g_channels.table[0].current, &front);
  ASSERT_EQ(engine::g_channels.table[0].suspended, &waiting);

  fake::clear_calls();
  KSFX_SetEarPos(0, 0, 0); // the values already stored
  EXPECT_TRUE(fake::calls().empty());

  KSFX_SetEarPos(0, 0, 128);
  EXPECT_EQ(fake::sample(handle(0)).pan, 114); // front, now on the right
  EXPECT_EQ(fake::count("AIL_set_sample_pan"), 1);
  EXPECT_EQ(fake::count("AIL_set_sample_pan", handle(1)), 0);
  EXPECT_EQ(waiting.pan, 50); // straight ahead now, in the record only
  EXPECT_EQ(waiting.volume, 92);
  EXPECT_EQ(flat.pan, -1);

  KSFX_SetEnvelope(3);
  fake::clear_calls();
  KSFX_SetEarPos(0, 0, 128); // the same position: nothing re-placed despite the new envelope
  EXPECT_TRUE(fake::calls().empty());
  EXPECT_EQ(waiting.volume, 92);
}

} // namespace
