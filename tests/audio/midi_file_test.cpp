// The MIDI data parsers: timing of SMF formats 0-2 and XMIDI, sequence selection, the
// equivalence of the two formats, and refusal of each kind of malformed input.
#include "audio/midi/midi_file.h"
#include "midi_test_tunes.h"

#include <gtest/gtest.h>

namespace {

using namespace midi_test;
using wail::midi::Tune;

bool parse(const Bytes &b, int32_t number, Tune &out) {
  return wail::midi::parse_tune(b.data(), b.size(), number, out);
}
bool accepted(const Bytes &b, int32_t number = 0) {
  Tune t;
  return parse(b, number, t);
}
// "time:status:key" for each event, then "end:length".
std::string listing(const Tune &t) {
  std::string out;
  for (const auto &e : t.events)
    out += std::to_string(e.time_us) + ":" + std::to_string(e.status) + ":" +
           std::to_string(e.data1) + " ";
  return out + "end:" + std::to_string(t.length_us);
}

TEST(MidiFile, SmfTimingFollowsDivisionTempoMapAndFormat) {
  // Division 96: tick 96 is 0.5 s; the tempo then halves. Running status, and a note-on of
  // velocity 0 that is stored as a note-off.
  Bytes f0{0x00, 0x90, 60,   100,  0x60, 0x80, 60, 0,   0x00, 0xFF, 0x51,
           3,    0x03, 0xD0, 0x90, 0x60, 0x90, 62, 100, 0x60, 62,   0};
  Tune t;
  ASSERT_TRUE(parse(smf(0, 96, {f0 + kSmfEnd}), 0, t));
  EXPECT_EQ(listing(t), "0:144:60 500000:128:60 750000:144:62 1000000:128:62 end:1000000");

  // Format 1: the conductor track's tempo (1 s per quarter) times the other track; the play
  // lasts until the last track ends.
  Bytes conductor = Bytes{0x00, 0xFF, 0x51, 3, 0x0F, 0x42, 0x40, 0x83, 0x00} + kEndOfTrack;
  Bytes notes = Bytes{0x40, 0x91, 64, 90, 0x40, 0x81, 64, 0} + kSmfEnd;
  ASSERT_TRUE(parse(smf(1, 128, {conductor, notes}), 0, t));
  EXPECT_EQ(listing(t), "500000:145:64 1000000:129:64 end:3000000");
  EXPECT_FALSE(accepted(smf(1, 128, {conductor, notes}), 1));

  // Format 2: the number picks a track, which does not see another track's tempo.
  Bytes second = Bytes{0x10, 0xC0, 2} + kSmfEnd;
  ASSERT_TRUE(parse(smf(2, 16, {conductor, second}), 1, t));
  EXPECT_EQ(listing(t), "500000:192:2 end:500000");
  EXPECT_FALSE(accepted(smf(2, 16, {conductor, second}), 2));

  // SMPTE: 25 frames of 40 ticks is 1 ms per tick; chunks of unknown type are skipped.
  Bytes smpte = smf(0, 0xE728, {}) + chunk("XFIH", {1, 2}, false) +
                chunk("MTrk", Bytes{0x81, 0x68, 0xC0, 7} + kSmfEnd, false);
  smpte[11] = 1;
  ASSERT_TRUE(parse(smpte, 0, t));
  EXPECT_EQ(listing(t), "232000:192:7 end:232000");
}

TEST(MidiFile, XmidiDurationsBecomeNoteOffsAndNumbersPickForms) {
  // Delays 100 + 20 ticks (1 s); a note of 60 ticks; at 1.5 s a note of no duration, which
  // ends after its own start while the first note ends before it.
  Bytes ev{0x64, 0x14, 0x92, 50, 80, 0x3C, 0x3C, 0x92, 51, 80, 0x00, 0x3C, 0x90, 52, 1, 0x81, 0x70};
  Tune t;
  ASSERT_TRUE(parse(xmid_form(ev + kEndOfTrack), 0, t));
  EXPECT_EQ(listing(t), "1000000:146:50 1500000:130:50 1500000:146:51 1500000:130:51 "
                        "2000000:144:52 4000000:128:52 end:4000000"); // a note outlasts the end
  Bytes a = Bytes{0xC0, 1} + kEndOfTrack, b = Bytes{0x78, 0xC0, 2} + kEndOfTrack;
  ASSERT_TRUE(parse(xdir(2, {xmid_form(a), xmid_form(b)}), 1, t));
  EXPECT_EQ(listing(t), "1000000:192:2 end:1000000");
  EXPECT_FALSE(accepted(xdir(2, {xmid_form(a), xmid_form(b)}), 2));
  EXPECT_FALSE(accepted(xdir(1, {xmid_form(a), xmid_form(b)}), 1)); // beyond INFO's count
  EXPECT_FALSE(accepted(xmid_form(a), 1));                          // a bare form holds one
}

TEST(MidiFile, SameTuneAsSmfAndXmidiGivesSameEvents) {
  Tune from_smf, from_xmidi;
  ASSERT_TRUE(parse(reference_smf(), 0, from_smf));
  ASSERT_TRUE(parse(reference_xmidi(), 0, from_xmidi));
  EXPECT_EQ(listing(from_smf), listing(from_xmidi));
  EXPECT_EQ(from_smf.events.size(), 7u);
}

TEST(MidiFile, EveryKindOfMalformedInputIsRefused) {
  Bytes smf_ok = reference_smf(), xmidi_ok = reference_xmidi();
  auto cut = [](const Bytes &b, size_t n) { return Bytes(b.begin(), b.begin() + (long)n); };
  auto track = [](Bytes events) { return smf(0, 60, {events}); };
  auto patched = [](Bytes b, size_t at, uint8_t value) { return b[at] = value, b; };
  Bytes runaway;
  for (int i = 0; i < 17; ++i) runaway = runaway + Bytes{0xFF, 0xFF, 0xFF, 0x7F, 0xC0, 1};
  const std::vector<std::pair<const char *, Bytes>> cases{
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
  };
  EXPECT_TRUE(accepted(smf_ok) && accepted(xmidi_ok));
  for (const auto &[what, data] : cases) EXPECT_FALSE(accepted(data)) << what;
  EXPECT_FALSE(accepted(smf_ok, -1));
  Tune t;
  EXPECT_FALSE(wail::midi::parse_tune(nullptr, 100, 0, t));
}

} // namespace
