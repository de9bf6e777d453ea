// Runs a timed script against a session: each command at its exact frame when rendering
// offline, or at its time on the clock when live; the channel table is looked at after every
// render step to report events and to build the timeline.
#pragma once

#include "script.h"
#include "session.h"
#include "timeline.h"

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace ksfx {

class Progress;
class WavWriter;

// One line of the run's account. Minor lines (level changes, listener moves, starts that a
// command line already told) are left out of the demo's narration.
struct RunLine {
  double time;
  std::string text;
  bool minor;
};
using LineSink = std::function<void(const RunLine &)>;

// Something in the run that the script's author should hear about: a play or a duplicate
// that did not start, or a render cut off without `end`. `line` is the script line.
struct RunWarning {
  int line;
  std::string text;
};

class ScriptRunner {
public:
  // Resolves every sound and reads every tune now, so a bad script fails before any sound.
  ScriptRunner(Session &session, Script script, const std::filesystem::path &baseDir,
               LineSink sink);

  // Renders offline into `wav` until the script is done; returns the seconds rendered.
  double render(WavWriter &wav, Progress *progress);
  // Runs on the clock until the script is done or Ctrl-C is pressed.
  void run_live();

  const Timeline &timeline() const { return timeline_; }
  const std::vector<RunWarning> &warnings() const { return warnings_; }
  // How long the script runs at least: the time of its last command.
  double last_time() const;

private:
  struct Outcome {
    std::string text; // what happened, for the account
    bool minor = false;
    bool refused = false; // a play or a duplicate that did not start
  };
  // Runs the commands due by `dueBy` and reports them at `now`.
  void run_due(double dueBy, double now);
  void execute(const ScriptCommand &cmd);
  Outcome sound_command(const ScriptCommand &cmd, int sound);
  Outcome music_command(const ScriptCommand &cmd, size_t index);
  Outcome setting_command(const ScriptCommand &cmd);
  Outcome duplicate(int sound);
  Outcome play_outcome(int sound, int32_t result, bool wasPlaying);
  bool look(double now, EndCause cause); // true when a channel changed
  bool finished(double now) const;
  uint64_t frames_to_next_end(uint32_t outputRate) const;
  void warn_cut_off(double time);
  void say(double time, const std::string &text, bool minor) { sink_({time, text, minor}); }

  Session &session_;
  Script script_;
  LineSink sink_;
  std::map<size_t, int> sounds_;                     // command index -> sound number
  std::map<size_t, std::vector<uint8_t>> tuneFiles_; // command index -> MIDI data
  std::vector<uint8_t> tune_;                        // the bound tune, kept while it plays
  std::string tuneName_;
  bool tunePlaying_ = false;
  size_t next_ = 0;
  bool ended_ = false; // the script's `end` was reached
  Timeline timeline_;
  std::vector<RunWarning> warnings_;
};

} // namespace ksfx
