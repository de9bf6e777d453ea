// The sequencer's clock, driven the way the render hook drives it: frame-exact event times
// under any block split, the end of play, tempo changes, and seamless loops.
#include "audio/midi/sequencer.h"

#include <gtest/gtest.h>

namespace {

using wail::midi::Playback;
using wail::midi::Tune;

struct Timeline {
  std::vector<uint64_t> sent; // frame of each event sent
  uint64_t frame = 0;
  uint64_t done_at = 0; // frame at which playing stopped; 0 while playing
};

void record(void *context, const wail::midi::Event &) {
  auto *t = static_cast<Timeline *>(context);
  t->sent.push_back(t->frame);
}

// Renders `frames` in blocks of `block`, cutting at due events as the render hook does.
void play(Playback &p, Timeline &t, uint64_t frames, uint32_t block, uint32_t rate = 48000) {
  for (uint64_t end = t.frame + frames; t.frame < end;) {
    uint32_t left = (uint32_t)std::min<uint64_t>(block, end - t.frame);
    for (;;) {
      wail::midi::dispatch_due(p, record, &t);
      if (!p.playing && !t.done_at) t.done_at = t.frame;
      if (left == 0) break;
      uint32_t span = wail::midi::frames_until_due(p, rate, left);
      wail::midi::advance(p, span, rate);
      t.frame += span;
      left -= span;
    }
  }
}

Tune tune_of(std::vector<uint64_t> times_us, uint64_t length_us) {
  Tune t;
  for (uint64_t time : times_us) t.events.push_back({time, 0x90, 60, 100});
  t.length_us = length_us;
  return t;
}

Playback started(const Tune &t, int32_t loops = 1, int32_t tempo = 100) {
  Playback p;
  p.tune = &t;
  p.playing = true;
  p.loop_count = loops;
  wail::midi::set_tempo(p, tempo);
  return p;
}

TEST(SequencerClock, EventsLandOnTheirFrameForAnyBlockSplitAndPlayEndsOnTheLast) {
  Tune t = tune_of({0, 1000, 333333, 999999}, 1000000);
  for (uint64_t rate : {48000u, 44100u}) {
    // Each event sounds on the first frame at or after its time.
    std::vector<uint64_t> expected{0};
    for (uint64_t us : {1000u, 333333u, 999999u})
      expected.push_back((us * rate + 999999) / 1000000);
    for (uint32_t block : {1u, 7u, 480u, 4096u}) {
      Playback p = started(t);
      Timeline line;
      play(p, line, rate - 1, block, (uint32_t)rate);
      EXPECT_TRUE(p.playing);
      play(p, line, 1000, block, (uint32_t)rate);
      EXPECT_EQ(line.sent, expected) << "block " << block << " rate " << rate;
      EXPECT_EQ(line.done_at, rate) << "block " << block;
    }
  }
}

TEST(SequencerClock, TempoScalesTheRestOfThePlayAtOnce) {
  Tune t = tune_of({0, 500000}, 1000000);
  Playback fast = started(t, 1, 200), changed = started(t), held = started(t, 1, 0);
  Timeline f, c, h;
  play(fast, f, 48000, 512);
  EXPECT_EQ(f.sent, (std::vector<uint64_t>{0, 12000}));
  EXPECT_EQ(f.done_at, 24000u);
  play(changed, c, 24000, 512); // half the tune at 100%, the rest at 200%
  wail::midi::set_tempo(changed, 200);
  play(changed, c, 48000, 512);
  EXPECT_EQ(c.done_at, 36000u);
  play(held, h, 96000, 512); // tempo 0 holds the tune where it is
  EXPECT_TRUE(held.playing);
  EXPECT_EQ(h.sent.size(), 1u);
  wail::midi::set_tempo(held, 5000);
  EXPECT_EQ(held.tempo, wail::midi::kMaxTempo);
}

TEST(SequencerClock, LoopCountPlaysSeamlessly) {
  Tune t = tune_of({0, 250000}, 1000000), blip = tune_of({0}, 5000);
  Playback thrice = started(t, 3), forever = started(t, 0), negative = started(t, -2),
           short_forever = started(blip, 0);
  Timeline a, b, c, d;
  play(thrice, a, 200000, 1000);
  EXPECT_EQ(a.sent, (std::vector<uint64_t>{0, 12000, 48000, 60000, 96000, 108000}));
  EXPECT_EQ(a.done_at, 144000u);
  play(forever, b, 48000 * 10, 4096);
  EXPECT_TRUE(forever.playing);
  EXPECT_EQ(b.sent.size(), 21u); // ten plays and the start of the eleventh
  play(negative, c, 96000, 512);
  EXPECT_EQ(c.done_at, 48000u);
  play(short_forever, d, 48000, 512); // too short to loop: plays once
  EXPECT_EQ(d.done_at, 240u);
}

} // namespace
