// Building the timeline from successive looks at the channel table.
#include "timeline.h"

#include <algorithm>

namespace ksfx {

std::string Timeline::label(int sound) const {
  auto it = labels_.find(sound);
  return it == labels_.end() ? "sound " + std::to_string(sound) : it->second;
}

std::vector<ChannelEvent> Timeline::sample(double time, const std::vector<ChannelState> &channels) {
  if (last_.size() < channels.size()) last_.resize(channels.size());
  std::vector<ChannelEvent> events = diff_channels(last_, channels);
  for (const ChannelEvent &e : events) apply(time, e, channels[static_cast<size_t>(e.channel)]);
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

void Timeline::apply(double time, const ChannelEvent &event, const ChannelState &state) {
  switch (event.kind) {
  case EventKind::Suspend:
    close_bar(event.channel, time, true);
    openWait_[event.channel] = waits_.size();
    waits_.push_back({event.channel, event.sound, time, -1});
    break;
  case EventKind::End:
    if (openBar_.count(event.channel) && bars_[openBar_[event.channel]].sound == event.sound)
      close_bar(event.channel, time, false);
    else
      close_wait(event.channel, time);
    break;
  case EventKind::Resume:
  case EventKind::Start:
    if (event.kind == EventKind::Resume) close_wait(event.channel, time);
    close_bar(event.channel, time, false);
    openBar_[event.channel] = bars_.size();
    bars_.push_back({event.channel,
                     event.sound,
                     time,
                     -1,
                     event.kind == EventKind::Resume,
                     false,
                     {{time, state.volume, state.pan}}});
    break;
  }
}

void Timeline::close_bar(int channel, double time, bool suspended) {
  auto it = openBar_.find(channel);
  if (it == openBar_.end()) return;
  bars_[it->second].end = time;
  bars_[it->second].suspended = suspended;
  openBar_.erase(it);
}

void Timeline::close_wait(int channel, double time) {
  auto it = openWait_.find(channel);
  if (it == openWait_.end()) return;
  waits_[it->second].end = time;
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
  while (!openBar_.empty()) close_bar(openBar_.begin()->first, endTime_, false);
  while (!openWait_.empty()) close_wait(openWait_.begin()->first, endTime_);
}

} // namespace ksfx
