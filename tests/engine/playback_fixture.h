// Shared fixture for the channel and playback tests: a clean engine over the recording fake,
// an open driver with n channels, and helpers that build samples and sound records.
#pragma once

#include "engine/channels.h"
#include "engine/playback.h"
#include "engine/state.h"
#include "ksnd32.h"
#include "support/fake_wail.h"

#include <gtest/gtest.h>

class EngineTest : public ::testing::Test {
protected:
  void SetUp() override {
    fake::reset();
    engine::reset_random();
    engine::release_channel_table();
    engine::g_state = {};
  }
  void TearDown() override {
    engine::release_channel_table();
    engine::g_state = {};
  }

  void open(uint16_t channels) {
    ASSERT_EQ(engine::open_driver(8, 11025, 1, channels), 1);
    engine::g_state.initialised = 1;
  }
  static Channel &channel(int k) { return engine::g_channels.table[k]; }
  static HSAMPLE handle(int k) { return engine::g_channels.table[k].handle; }
  static fake::Sample &voice(int k) { return fake::sample(handle(k)); }

  // A mono 8-bit sample over its own bytes, at `rate`.
  SampleRecord make_sample(uint32_t rate = 11025) {
    SampleRecord s{};
    s.data = pcm_;
    s.length = sizeof pcm_;
    s.rate = rate;
    s.volume = 100;
    s.pan = 64;
    return s;
  }
  static SoundRecord make_sound(SampleRecord *sample, uint32_t priority, uint16_t flags = 0) {
    SoundRecord r{};
    r.priority = priority;
    r.sample = sample;
    r.flags = flags;
    r.rate = r.volume = r.pan = -1;
    return r;
  }

  uint8_t pcm_[4000] = {};
};
