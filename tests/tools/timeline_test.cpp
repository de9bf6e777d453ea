// Channel events and the timeline: suspension and resumption told apart from plain starts
// and ends, bars built from them, and the SVG well-formed with every sound named.
#include "channel_events.h"
#include "timeline.h"
#include "xml_check.h"

#include <gtest/gtest.h>

namespace ksfx {
namespace {

constexpr int kVoice = 0, kBlaster = 1, kDoor = 2;

TEST(ChannelEvents, TellsSuspensionAndResumptionFromStartsAndEnds) {
  std::vector<ChannelState> idle(2), voice = idle, blasted = idle, swapped = idle;
  voice[0] = {kVoice, -1, 100, 64};
  blasted[0] = {kBlaster, kVoice, 100, 64};
  swapped[0] = {kDoor, -1, 100, 64};
  auto kinds = [](const std::vector<ChannelEvent> &events) {
    std::vector<std::pair<EventKind, int>> out;
    for (const ChannelEvent &e : events) out.emplace_back(e.kind, e.sound);
    return out;
  };
  using V = std::vector<std::pair<EventKind, int>>;
  EXPECT_EQ(kinds(diff_channels(idle, voice)), (V{{EventKind::Start, kVoice}}));
  EXPECT_EQ(kinds(diff_channels(voice, blasted)),
            (V{{EventKind::Suspend, kVoice}, {EventKind::Start, kBlaster}}));
  EXPECT_EQ(kinds(diff_channels(blasted, voice)),
            (V{{EventKind::End, kBlaster}, {EventKind::Resume, kVoice}}));
  EXPECT_EQ(kinds(diff_channels(voice, swapped)),
            (V{{EventKind::End, kVoice}, {EventKind::Start, kDoor}}));
  EXPECT_EQ(kinds(diff_channels(blasted, idle)),
            (V{{EventKind::End, kBlaster}, {EventKind::End, kVoice}}));
  std::vector<ChannelState> quieter = voice;
  quieter[0].volume = 20; // a level change is no event
  EXPECT_TRUE(diff_channels(voice, quieter).empty());
}

// A voice interrupted by a blaster on channel 0, then resumed until 2 s.
TEST(Timeline, BuildsBarsAndWaitsAndAWellFormedSvgNamingEverySound) {
  Timeline t;
  t.set_label(kVoice, "voice");
  t.set_label(kBlaster, "blaster <&>");
  std::vector<ChannelState> ch(2);
  t.sample(0.0, ch);
  ch[0] = {kVoice, -1, 100, 64};
  t.sample(0.5, ch);
  ch[0] = {kBlaster, kVoice, 110, 30};
  t.sample(1.0, ch);
  ch[0] = {kVoice, -1, 100, 64};
  t.sample(1.4, ch);
  t.listener(1.2, 0, 0, 128);
  t.mark(0.5, "play voice");
  ch[0] = {};
  t.sample(2.0, ch);

  const auto &bars = t.bars();
  ASSERT_EQ(bars.size(), 3u);
  EXPECT_TRUE(bars[0].sound == kVoice && bars[0].start == 0.5 && bars[0].end == 1.0);
  EXPECT_EQ(bars[0].ending, Timeline::Ending::Suspended);
  EXPECT_EQ(bars[1].sound, kBlaster);
  EXPECT_EQ(bars[1].levels.front().pan, 30);
  EXPECT_TRUE(bars[2].resumed && bars[2].end == 2.0 && bars[2].ending == Timeline::Ending::Ended);
  ASSERT_EQ(t.waits().size(), 1u);
  EXPECT_TRUE(t.waits()[0].start == 1.0 && t.waits()[0].end == 1.4);

  std::string svg = t.to_svg("render of \"s.txt\"");
  EXPECT_EQ(xml_problem(svg), "") << svg;
  for (const char *part :
       {">voice<", "blaster &lt;&amp;&gt;", "class=\"suspended\"", "facing 90.0"})
    EXPECT_NE(svg.find(part), std::string::npos) << part;
  // An open bar (no final look) is drawn up to the last time seen.
  Timeline open;
  open.set_label(kDoor, "door");
  open.sample(0.25, {{kDoor, -1, 100, 64}});
  EXPECT_EQ(xml_problem(open.to_svg("x")), "");
  EXPECT_NE(xml_problem("<svg><g></svg>"), "");
}

// How a bar ends depends on what moved the channel: the sound running out, a stop, or a play
// that took the channel; a waiting sound whose channel is taken is dropped.
TEST(Timeline, TellsNaturalEndsFromStopsAndCutsAndDroppedWaits) {
  Timeline t;
  std::vector<ChannelState> ch(1);
  t.sample(0.0, ch);
  ch[0] = {kVoice, -1, 100, 64};
  t.sample(0.1, ch, EndCause::Taken);
  ch[0] = {};
  t.sample(0.2, ch, EndCause::Stopped);
  ch[0] = {kVoice, -1, 100, 64};
  t.sample(0.3, ch, EndCause::Taken);
  ch[0] = {kBlaster, kVoice, 100, 64};
  t.sample(0.4, ch, EndCause::Taken);
  ch[0] = {kDoor, -1, 100, 64};
  t.sample(0.5, ch, EndCause::Taken);
  ch[0] = {};
  t.sample(0.6, ch, EndCause::Ran);
  ch[0] = {kVoice, -1, 100, 64};
  t.sample(0.7, ch, EndCause::Taken);
  t.finish(0.8);

  const auto &bars = t.bars();
  ASSERT_EQ(bars.size(), 5u);
  EXPECT_EQ(bars[0].ending, Timeline::Ending::Stopped);
  EXPECT_EQ(bars[1].ending, Timeline::Ending::Suspended);
  EXPECT_TRUE(bars[2].sound == kBlaster && bars[2].ending == Timeline::Ending::Cut &&
              bars[2].cutBy == kDoor);
  EXPECT_EQ(bars[3].ending, Timeline::Ending::Ended);
  EXPECT_EQ(bars[4].ending, Timeline::Ending::Unfinished);
  ASSERT_EQ(t.waits().size(), 1u);
  EXPECT_TRUE(t.waits()[0].dropped);
}

} // namespace
} // namespace ksfx
