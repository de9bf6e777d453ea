// Channel view formatting and in-place redrawing with ANSI cursor movement.
#include "live_view.h"

#include <algorithm>
#include <cstdio>

namespace ksfx {

std::string channel_view(const std::vector<ChannelState> &channels, const LabelOf &label) {
  std::string out;
  char line[160];
  for (size_t c = 0; c < channels.size(); ++c) {
    const ChannelState &s = channels[c];
    std::string sound = s.current == -1 ? "-" : label(s.current);
    std::string waiting = s.suspended == -1 ? "" : "  waiting: " + label(s.suspended);
    if (s.current == -1)
      std::snprintf(line, sizeof line, "  ch %2zu  %-16.16s%s\n", c, sound.c_str(),
                    waiting.c_str());
    else
      std::snprintf(line, sizeof line, "  ch %2zu  %-16.16s vol %3d  pan %3d%s\n", c, sound.c_str(),
                    s.volume, s.pan, waiting.c_str());
    out += line;
  }
  return out;
}

void LiveView::draw(const std::string &header, const std::vector<ChannelState> &channels,
                    const LabelOf &label) {
  std::string text = header + "\n" + channel_view(channels, label);
  if (lines_ > 0) std::printf("\033[%dA", lines_);
  lines_ = static_cast<int>(std::count(text.begin(), text.end(), '\n'));
  // Clear each line's old tail as it is rewritten.
  std::string cleared;
  for (char c : text) cleared += c == '\n' ? std::string("\033[K\n") : std::string(1, c);
  std::fputs(cleared.c_str(), stdout);
  std::fflush(stdout);
}

} // namespace ksfx
