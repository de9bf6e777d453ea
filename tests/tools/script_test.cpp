// Script parsing: commands, arguments and ordering, and line-numbered messages for bad lines.
#include "error.h"
#include "script.h"

#include <gtest/gtest.h>

namespace ksfx {
namespace {

TEST(Script, ParsesCommandsInTimeOrderKeepingWrittenOrderForEqualTimes) {
  Script s = parse_script(R"(# a comment line
0 channels 4
1.5 place engine 100 -40   # trailing comment
0.5 play door
0.5 stop door
2 update engine -1 90 -1
3 note The  engine   stops.
3.25 tune music/song.mid
4 end
)",
                          "s.txt");
  ASSERT_EQ(s.commands.size(), 8u);
  EXPECT_EQ(s.channels, 4);
  EXPECT_EQ(s.end.value_or(0), 4.0);
  EXPECT_TRUE(s.commands[1].op == Op::Play && s.commands[2].op == Op::Stop);
  const ScriptCommand &place = s.commands[3];
  EXPECT_TRUE(place.op == Op::Place && place.sound == "engine" && place.line == 3);
  EXPECT_EQ(place.numbers, (std::vector<int32_t>{100, -40}));
  EXPECT_EQ(s.commands[4].numbers, (std::vector<int32_t>{-1, 90, -1}));
  EXPECT_EQ(s.commands[5].text, "The  engine   stops.");
  EXPECT_EQ(s.commands[6].text, "music/song.mid");
}

TEST(Script, BadLinesAreAllReportedWithTheirNumbers) {
  struct Case {
    std::string line, expected;
  } cases[] = {
      {"soon play door", "'soon' is not a time"},
      {"-1 play door", "time -1 is outside 0-3600 seconds"},
      {"1 plya door", "unknown command 'plya'"},
      {"1 play", "'play SOUND' needs a sound"},
      {"1 place door 5", "'place SOUND X Y' needs y"},
      {"1 place door 5 40000", "y '40000' must be an integer from -32768 to 32767"},
      {"1 update door -1 128 -1", "volume '128' must be -1 or an integer from 0 to 127"},
      {"1 stop door now", "too many arguments"},
      {"1 ear 0 0 512", "direction '512'"},
      {"1 channels 4", "channels can only be set at time 0"},
      {"1 tune", "'tune FILE' needs a file"},
      {"2", "a command must follow the time"},
  };
  for (const Case &c : cases) {
    try {
      parse_script("0 play door\n" + c.line + "\n", "s.txt");
      ADD_FAILURE() << c.line << " was accepted";
    } catch (const ToolError &e) {
      EXPECT_NE(std::string(e.what()).find("s.txt:2: " + c.expected), std::string::npos)
          << c.line << ": " << e.what();
    }
  }
  try {
    parse_script("x play a\n1 play b\n1 fly\n", "s.txt");
    ADD_FAILURE();
  } catch (const ToolError &e) {
    EXPECT_NE(std::string(e.what()).find("s.txt:1:"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("s.txt:3:"), std::string::npos);
  }
}

} // namespace
} // namespace ksfx
