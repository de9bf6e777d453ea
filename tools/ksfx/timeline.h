// The channel timeline of a run: what each channel played and when, suspensions and
// resumptions, the listener's moves and the script's commands, drawn as an SVG picture.
#pragma once

#include "channel_events.h"

#include <map>
#include <string>
#include <vector>

namespace ksfx {

class Timeline {
public:
  struct Level {
    double time;
    int volume, pan;
  };
  // One stretch of a sound on a channel.
  struct Bar {
    int channel = 0;
    int sound = -1;
    double start = 0, end = -1; // end -1 while open
    bool resumed = false;       // began by resuming
    bool suspended = false;     // ended by being suspended
    std::vector<Level> levels;  // volume and pan whenever they changed
  };
  // A suspended sound waiting on a channel.
  struct Wait {
    int channel = 0;
    int sound = -1;
    double start = 0, end = -1;
  };
  struct Listener {
    double time;
    int x, y, direction;
  };
  struct Mark {
    double time;
    std::string label;
  };
  struct TuneSpan {
    double start, end; // end -1 while playing
    std::string label;
  };

  void set_label(int sound, const std::string &label) { labels_[sound] = label; }
  std::string label(int sound) const;

  // Records the channel table as seen at `time`; returns the events since the last look.
  std::vector<ChannelEvent> sample(double time, const std::vector<ChannelState> &channels);
  void listener(double time, int x, int y, int direction);
  void mark(double time, const std::string &label) { marks_.push_back({time, label}); }
  // The tune starts or stops playing; notes (tempo changes) are written in the tune's lane.
  void tune(double time, bool playing, const std::string &label);
  void tune_note(double time, const std::string &text) { tuneNotes_.push_back({time, text}); }
  // Closes every open bar at `time`.
  void finish(double time);

  const std::vector<Bar> &bars() const { return bars_; }
  const std::vector<Wait> &waits() const { return waits_; }
  const std::vector<Listener> &listener_moves() const { return listener_; }
  const std::vector<TuneSpan> &tunes() const { return tunes_; }

  // The picture: one lane per channel, a bar per sound with its name, suspensions dashed,
  // the listener's direction in a lane of its own, commands as ticks on the time axis.
  std::string to_svg(const std::string &title) const;

private:
  void apply(double time, const ChannelEvent &event, const ChannelState &state);
  void close_bar(int channel, double time, bool suspended);
  void close_wait(int channel, double time);

  std::map<int, std::string> labels_;
  std::vector<ChannelState> last_;
  std::map<int, size_t> openBar_, openWait_; // channel -> index
  std::vector<Bar> bars_;
  std::vector<Wait> waits_;
  std::vector<Listener> listener_;
  std::vector<Mark> marks_;
  std::vector<TuneSpan> tunes_;
  std::vector<Mark> tuneNotes_;
  double endTime_ = 0;
};

} // namespace ksfx
