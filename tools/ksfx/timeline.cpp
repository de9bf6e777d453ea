// Building the timeline from successive looks at the channel table.
#include "timeline.h"

#include <algorithm>

namespace ksfx {

std::string Timeline::label(int sound) const {
  auto it = labels_.find(sound);
  return it == labels_.end() ? "sound " + std::to_string(sound) : it->second;
}

std::vector<ChannelEvent> Timeline::sample(double time, const std::vector<ChannelState> &channels,
                                           EndCause cause) {
  if (last_.size() < channels.size()) last_.resize(channels.size());
  std::vector<ChannelEvent> events = diff_channels(last_, channels);
  for (const ChannelEvent &e : events)
    apply(time, e, channels[static_cast<size_t>(e.channel)], cause);
  for (size_t c = 0; c < channels.size(); ++c) {
    auto open = openBar_.find(static_cast<int>(c));
    if (open == openBar_.end()) continue;
    std::vector<Level> &levels = bars_[open->second].levels;
    const ChannelState &s = channels[c];
    if (levels.empty() || levels.back().volume != s.volume || levels.back().pan != s.pan)
      levels.push_back({time, s.volume, s.pan});
  }
  last_ = channels;
  endTime_ = std::max(endTime_, time);
  return events;
}

// An end seen right after a command was caused by it: a stop, or a play that took the channel.
void Timeline::apply(double time, const ChannelEvent &event, const ChannelState &state,
                     EndCause cause) {
  switch (event.kind) {
  case EventKind::Suspend:
    close_bar(event.channel, time, Ending::Suspended);
    openWait_[event.channel] = waits_.size();
    waits_.push_back({event.channel, event.sound, time, -1, false});
    break;
  case EventKind::End:
    if (openBar_.count(event.channel) && bars_[openBar_[event.channel]].sound == event.sound) {
      if (cause == EndCause::Ran)
        close_bar(event.channel, time, Ending::Ended);
      else if (cause == EndCause::Stopped)
        close_bar(event.channel, time, Ending::Stopped);
      else
        close_bar(event.channel, time, Ending::Cut, state.current);
    } else {
      close_wait(event.channel, time, cause != EndCause::Ran);
    }
    break;
  case EventKind::Resume:
  case EventKind::Start:
    if (event.kind == EventKind::Resume) close_wait(event.channel, time, false);
    close_bar(event.channel, time, Ending::Ended);
    openBar_[event.channel] = bars_.size();
    bars_.push_back({event.channel,
                     event.sound,
                     time,
                     -1,
                     event.kind == EventKind::Resume,
                     Ending::Open,
                     -1,
                     {{time, state.volume, state.pan}}});
    break;
  }
}

void Timeline::close_bar(int channel, double time, Ending ending, int cutBy) {
  auto it = openBar_.find(channel);
  if (it == openBar_.end()) return;
  Bar &bar = bars_[it->second];
  bar.end = time;
  bar.ending = ending;
  bar.cutBy = cutBy;
  openBar_.erase(it);
}

void Timeline::close_wait(int channel, double time, bool dropped) {
  auto it = openWait_.find(channel);
  if (it == openWait_.end()) return;
  waits_[it->second].end = time;
  waits_[it->second].dropped = dropped;
  openWait_.erase(it);
}

void Timeline::listener(double time, int x, int y, int direction) {
  listener_.push_back({time, x, y, direction});
  endTime_ = std::max(endTime_, time);
}

void Timeline::tune(double time, bool playing, const std::string &label) {
  bool open = !tunes_.empty() && tunes_.back().end < 0;
  if (playing && !open) tunes_.push_back({time, -1, label});
  if (!playing && open) tunes_.back().end = time;
  endTime_ = std::max(endTime_, time);
}

void Timeline::finish(double time) {
  endTime_ = std::max(endTime_, time);
  if (!tunes_.empty() && tunes_.back().end < 0) tunes_.back().end = endTime_;
  while (!openBar_.empty()) close_bar(openBar_.begin()->first, endTime_, Ending::Unfinished);
  while (!openWait_.empty()) close_wait(openWait_.begin()->first, endTime_, false);
}

} // namespace ksfx
