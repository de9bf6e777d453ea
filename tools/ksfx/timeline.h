// The channel timeline of a run: what each channel played and when, suspensions and
// resumptions, the listener's moves and the script's commands, drawn as an SVG picture.
#pragma once

#include "channel_events.h"

#include <map>
#include <string>
#include <vector>

namespace ksfx {

// What moved the channels since the previous look: the sound running on by itself, a command
// that may take a channel from another sound, or a stop.
enum class EndCause { Ran, Taken, Stopped };

class Timeline {
public:
  struct Level {
    double time;
    int volume, pan;
  };
  enum class Ending {
    Open,      // still on its channel
    Ended,     // ran to its end
    Suspended, // displaced, waiting to resume
    Cut,       // displaced for good by another sound (`cutBy`)
    Stopped,   // stopped by a command
    Unfinished // still playing when the run stopped
  };
  // One stretch of a sound on a channel.
  struct Bar {
    int channel = 0;
    int sound = -1;
    double start = 0, end = -1; // end -1 while open
    bool resumed = false;       // began by resuming
    Ending ending = Ending::Open;
    int cutBy = -1;            // the sound that took the channel, for Ending::Cut
    std::vector<Level> levels; // volume and pan whenever they changed
  };
  // A suspended sound waiting on a channel.
  struct Wait {
    int channel = 0;
    int sound = -1;
    double start = 0, end = -1;
    bool dropped = false; // went away without resuming, its channel taken
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
  std::vector<ChannelEvent> sample(double time, const std::vector<ChannelState> &channels,
                                   EndCause cause = EndCause::Ran);
  void listener(double time, int x, int y, int direction);
  void mark(double time, const std::string &label) { marks_.push_back({time, label}); }
  // A play or duplicate that did not start, as the account tells it.
  void refusal(double time, const std::string &text) { refusals_.push_back({time, text}); }
  // A note of the script, shown as a numbered caption.
  void caption(double time, const std::string &text) { captions_.push_back({time, text}); }
  // The tune starts or stops playing; notes (tempo changes) are written in the tune's lane.
  void tune(double time, bool playing, const std::string &label);
  void tune_note(double time, const std::string &text) { tuneNotes_.push_back({time, text}); }
  // Closes every open bar at `time`.
  void finish(double time);

  const std::vector<Bar> &bars() const { return bars_; }
  const std::vector<Wait> &waits() const { return waits_; }
  const std::vector<Listener> &listener_moves() const { return listener_; }
  const std::vector<TuneSpan> &tunes() const { return tunes_; }
  const std::vector<Mark> &refusals() const { return refusals_; }
  const std::vector<Mark> &captions() const { return captions_; }

  // The picture: one lane per channel, a bar per sound with its name and how it ended,
  // suspensions dashed, the tune, the listener's direction and the refusals in lanes of their
  // own, commands as ticks on the time axis, a legend and the captions below.
  std::string to_svg(const std::string &title) const;

private:
  void apply(double time, const ChannelEvent &event, const ChannelState &state, EndCause cause);
  void close_bar(int channel, double time, Ending ending, int cutBy = -1);
  void close_wait(int channel, double time, bool dropped);

  std::map<int, std::string> labels_;
  std::vector<ChannelState> last_;
  std::map<int, size_t> openBar_, openWait_; // channel -> index
  std::vector<Bar> bars_;
  std::vector<Wait> waits_;
  std::vector<Listener> listener_;
  std::vector<Mark> marks_;
  std::vector<TuneSpan> tunes_;
  std::vector<Mark> tuneNotes_;
  std::vector<Mark> refusals_;
  std::vector<Mark> captions_;
  double endTime_ = 0;
};

} // namespace ksfx
