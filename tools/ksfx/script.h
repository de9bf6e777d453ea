// Timed scripts of host calls, one per line: `TIME COMMAND ARGS`, `#` starting a comment.
// Parsing checks commands, argument counts and ranges; sound names are resolved later, against
// the bank.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ksfx {

enum class Op {
  Play,     // play SOUND
  Place,    // place SOUND X Y
  Update,   // update SOUND RATE VOLUME PAN
  Stop,     // stop SOUND
  Dup,      // dup SOUND: a copy of the sound, played at once
  Ear,      // ear X Y DIRECTION
  Envelope, // envelope N
  Tune,     // tune FILE (relative to the script)
  Tempo,    // tempo PERCENT
  Volume,   // volume 0-127 (the tune's)
  Repeats,  // repeats N (0 = forever)
  TuneStop, // tunestop
  Note,     // note TEXT: printed when reached
  End,      // end: rendering stops here
  Channels, // channels N: effect channels to open; time 0 only
};

struct ScriptCommand {
  double time = 0; // seconds
  Op op = Op::Note;
  int line = 0;
  std::string sound;            // SOUND argument: a name or a sound number
  std::vector<int32_t> numbers; // numeric arguments in order
  std::string text;             // note text, or the tune's file name
};

struct Script {
  std::string source;                  // the name messages give the script
  std::vector<ScriptCommand> commands; // by time; equal times keep their written order
  int channels = 16;
  std::optional<double> end; // time of `end`, when given
};

// Throws ToolError listing every bad line as "SOURCE:LINE: message".
Script parse_script(std::string_view text, const std::string &source);

const char *op_name(Op op);

} // namespace ksfx
