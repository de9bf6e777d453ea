// The MIDI side of the audio library below the driver: the SMF and XMIDI parsers, and the
// sequencer's clock driven as the render hook drives it. The sound is tested through the engine.
#include "audio/midi/sequencer.h"
#include "midi_test_tunes.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

using namespace midi_test;
using wail::midi::Tune;

// One input and its events as "time:status:key" then "end:length", or "refused".
struct ParseCase {
  const char *what;
  Bytes data;
  int32_t number = 0;
  std::string events = "refused";
};

void expect_parses(const std::vector<ParseCase> &cases) {
  for (const ParseCase &c : cases) {
    Tune t;
    std::string got = "refused";
    if (wail::midi::parse_tune(c.data.data(), c.data.size(), c.number, t)) {
      got.clear();
      for (const auto &e : t.events)
        got += std::to_string(e.time_us) + ":" + std::to_string(e.status) + ":" +
               std::to_string(e.data1) + " ";
      got += "end:" + std::to_string(t.length_us);
    }
    EXPECT_EQ(got, c.events) << c.what;
  }
}

TEST(MidiFile, SmfFormats0To2AndXmidiParseToTheirTimedEvents) {
  // Division 96: tick 96 is 0.5 s, then the tempo halves; running status; velocity 0 is off.
  const Bytes f0{0x00, 0x90, 60,   100,  0x60, 0x80, 60, 0,   0x00, 0xFF, 0x51,
                 3,    0x03, 0xD0, 0x90, 0x60, 0x90, 62, 100, 0x60, 62,   0};
  // A conductor track of 1 s per quarter, and tracks of events.
  const Bytes conductor = Bytes{0x00, 0xFF, 0x51, 3, 0x0F, 0x42, 0x40, 0x83, 0x00} + kEndOfTrack;
  const Bytes notes = Bytes{0x40, 0x91, 64, 90, 0x40, 0x81, 64, 0} + kSmfEnd;
  const Bytes second = Bytes{0x10, 0xC0, 2} + kSmfEnd;
  // SMPTE 25 frames of 40 ticks is 1 ms per tick; a chunk of unknown type is skipped.
  Bytes smpte = smf(0, 0xE728, {}) + chunk("XFIH", {1, 2}, false) +
                chunk("MTrk", Bytes{0x81, 0x68, 0xC0, 7} + kSmfEnd, false);
  smpte[11] = 1;
  // XMIDI delays 100 + 20 ticks (1 s); notes of 60 ticks, of none (ending after its own start),
  // and one that outlasts the end.
  const Bytes xev{0x64, 0x14, 0x92, 50, 80, 0x3C, 0x3C, 0x92, 51,   80,
                  0x00, 0x3C, 0x90, 52, 1,  0x81, 0x70, 0xFF, 0x2F, 0};
  const Bytes a = Bytes{0xC0, 1} + kEndOfTrack, b = Bytes{0x78, 0xC0, 2} + kEndOfTrack;
  const std::string tune = "0:192:5 0:144:60 500000:128:60 500000:144:64 750000:128:64 "
                           "1000000:144:67 1500000:128:67 end:2500000";
  expect_parses({
      {"reference SMF", reference_smf(), 0, tune},
      {"reference XMIDI", reference_xmidi(), 0, tune},
      {"format 0", smf(0, 96, {f0 + kSmfEnd}), 0,
       "0:144:60 500000:128:60 750000:144:62 1000000:128:62 end:1000000"},
      {"format 1 lasts to the last track's end", smf(1, 128, {conductor, notes}), 0,
       "500000:145:64 1000000:129:64 end:3000000"},
      {"format 1 has one sequence", smf(1, 128, {conductor, notes}), 1},
      {"format 2 track alone", smf(2, 16, {conductor, second}), 1, "500000:192:2 end:500000"},
      {"format 2 beyond the tracks", smf(2, 16, {conductor, second}), 2},
      {"SMPTE", smpte, 0, "232000:192:7 end:232000"},
      {"XMIDI", xmid_form(xev), 0,
       "1000000:146:50 1500000:130:50 1500000:146:51 1500000:130:51 2000000:144:52 "
       "4000000:128:52 end:4000000"},
      {"XMIDI second form", xdir(2, {xmid_form(a), xmid_form(b)}), 1, "1000000:192:2 end:1000000"},
      {"XMIDI beyond the forms", xdir(2, {xmid_form(a), xmid_form(b)}), 2},
      {"XMIDI beyond INFO's count", xdir(1, {xmid_form(a), xmid_form(b)}), 1},
      {"bare XMIDI form holds one", xmid_form(a), 1},
      {"negative number", reference_smf(), -1},
  });
}

TEST(MidiFile, EveryKindOfMalformedInputIsRefused) {
  const Bytes smf_ok = reference_smf(), xmidi_ok = reference_xmidi();
  auto cut = [](const Bytes &b, size_t n) { return Bytes(b.begin(), b.begin() + long(n)); };
  auto track = [](Bytes events) { return smf(0, 60, {events}); };
  auto patched = [](Bytes b, size_t at, uint8_t value) { return b[at] = value, b; };
  Bytes runaway;
  for (int i = 0; i < 17; ++i) runaway = runaway + Bytes{0xFF, 0xFF, 0xFF, 0x7F, 0xC0, 1};
  expect_parses({
      {"SMF header cut", cut(smf_ok, 10)},
      {"SMF track cut", cut(smf_ok, smf_ok.size() - 2)},
      {"track length past the end", patched(smf_ok, 21, smf_ok[21] + 1)},
      {"header length 5", patched(smf_ok, 7, 5)},
      {"format 3", patched(smf_ok, 9, 3)},
      {"no tracks", smf(1, 60, {})},
      {"division 0", smf(0, 0, {kSmfEnd})},
      {"27 frames per second", smf(0, 0xE500, {kSmfEnd})},
      {"no end of track", track({0x00, 0xC0, 1})},
      {"running status without status", track(Bytes{0x00, 60, 100} + kSmfEnd)},
      {"five-byte delta", track(Bytes{0x80, 0x80, 0x80, 0x80, 0x00} + kEndOfTrack)},
      {"status byte as data", track(Bytes{0x00, 0x90, 0x80, 1} + kSmfEnd)},
      {"system common byte", track(Bytes{0x00, 0xF1, 0x00} + kSmfEnd)},
      {"tempo 0", track(Bytes{0x00, 0xFF, 0x51, 3, 0, 0, 0} + kSmfEnd)},
      {"short tempo", track(Bytes{0x00, 0xFF, 0x51, 2, 1, 1} + kSmfEnd)},
      {"meta past the end", track(Bytes{0x00, 0xFF, 0x01, 0x7F, 'a'} + kSmfEnd)},
      {"sysex past the end", track(Bytes{0x00, 0xF0, 0x05, 1, 2} + kSmfEnd)},
      {"2^32 ticks", track(runaway + kSmfEnd)},
      {"XMIDI cut", cut(xmidi_ok, 30)},
      {"XMIDI events cut", cut(xmidi_ok, xmidi_ok.size() - 2)},
      {"CAT past the end", patched(xmidi_ok, 26, 0x7F)},
      {"no end of stream", xmid_form({0xC0, 1})},
      {"no EVNT", form("XMID", chunk("TIMB", {0, 0}))},
      {"no CAT", form("XDIR", chunk("INFO", {1, 0}))},
      {"no INFO", form("XDIR", {}) + chunk("CAT ", {'X', 'M', 'I', 'D'})},
      {"wrong form type", form("AIFF", chunk("EVNT", kEndOfTrack))},
      {"five-byte duration",
       xmid_form(Bytes{0x90, 60, 1, 0x80, 0x80, 0x80, 0x80, 1} + kEndOfTrack)},
      {"duration missing", xmid_form({0x90, 60, 100})},
      {"XMIDI status as data", xmid_form(Bytes{0xB0, 7, 0x90} + kEndOfTrack)},
  });
  Tune t;
  EXPECT_FALSE(wail::midi::parse_tune(nullptr, 100, 0, t));
}

// A tune of note-ons at `times_us` played as the render hook plays it: the frame of each event
// sent, and the frame at which playing stopped (0 while playing).
struct Clock {
  Clock(std::initializer_list<uint64_t> times_us, uint64_t length_us, int32_t loops = 1,
        int32_t tempo = 100) {
    for (uint64_t time : times_us) tune.events.push_back({time, 0x90, 60, 100});
    tune.length_us = length_us;
    p.tune = &tune;
    p.playing = true;
    p.loop_count = loops;
    wail::midi::set_tempo(p, tempo);
  }
  // Renders `frames` in blocks of `block`, cutting at due events as the render hook does.
  void play(uint64_t frames, uint32_t block, uint32_t rate = 48000) {
    for (uint64_t end = frame + frames; frame < end;) {
      for (auto left = uint32_t(std::min<uint64_t>(block, end - frame));;) {
        wail::midi::dispatch_due(p, record, this);
        if (!p.playing && !done_at) done_at = frame;
        if (left == 0) break;
        const uint32_t span = wail::midi::frames_until_due(p, rate, left);
        wail::midi::advance(p, span, rate);
        frame += span;
        left -= span;
      }
    }
  }

  static void record(void *clock, const wail::midi::Event &) {
    static_cast<Clock *>(clock)->sent.push_back(static_cast<Clock *>(clock)->frame);
  }
  Tune tune; // not copied: p points at it
  wail::midi::Playback p;
  std::vector<uint64_t> sent;
  uint64_t frame = 0, done_at = 0;
};

TEST(SequencerClock, EventsLandOnTheirFramesForAnyBlockSplitTempoAndLoopCount) {
  for (uint64_t rate : {48000u, 44100u}) {
    std::vector<uint64_t> expected{0}; // the first frame at or after each event's time
    for (uint64_t us : {1000u, 333333u, 999999u})
      expected.push_back((us * rate + 999999) / 1000000);
    for (uint32_t block : {1u, 7u, 480u, 4096u}) {
      Clock run({0, 1000, 333333, 999999}, 1000000);
      run.play(rate - 1, block, uint32_t(rate));
      EXPECT_TRUE(run.p.playing);
      run.play(1000, block, uint32_t(rate));
      EXPECT_EQ(run.sent, expected) << "block " << block << " rate " << rate;
      EXPECT_EQ(run.done_at, rate) << "block " << block;
    }
  }
  // Tempo scales the rest of the play at once; loops are seamless.
  Clock fast({0, 500000}, 1000000, 1, 200), changed({0, 500000}, 1000000);
  Clock held({0, 500000}, 1000000, 1, 0), thrice({0, 250000}, 1000000, 3);
  Clock forever({0, 250000}, 1000000, 0), negative({0, 250000}, 1000000, -2), blip({0}, 5000, 0);
  fast.play(48000, 512);
  EXPECT_EQ(fast.sent, (std::vector<uint64_t>{0, 12000}));
  EXPECT_EQ(fast.done_at, 24000u);
  changed.play(24000, 512); // half the tune at 100%, the rest at 200%
  wail::midi::set_tempo(changed.p, 200);
  changed.play(48000, 512);
  EXPECT_EQ(changed.done_at, 36000u);
  held.play(96000, 512); // tempo 0 holds the tune where it is
  EXPECT_TRUE(held.p.playing && held.sent.size() == 1);
  wail::midi::set_tempo(held.p, 5000);
  EXPECT_EQ(held.p.tempo, wail::midi::kMaxTempo);
  thrice.play(200000, 1000);
  EXPECT_EQ(thrice.sent, (std::vector<uint64_t>{0, 12000, 48000, 60000, 96000, 108000}));
  EXPECT_EQ(thrice.done_at, 144000u);
  forever.play(48000 * 10, 4096);
  EXPECT_TRUE(forever.p.playing);
  EXPECT_EQ(forever.sent.size(), 21u); // ten plays and the start of the eleventh
  negative.play(96000, 512);
  EXPECT_EQ(negative.done_at, 48000u);
  blip.play(48000, 512); // too short to loop: plays once
  EXPECT_EQ(blip.done_at, 240u);
}

} // namespace
