// The live channel view of `ksfx play`: one line per channel with the sound on it, the sound
// waiting there, and its volume and pan; redrawn in place on a terminal.
#pragma once

#include "channel_events.h"

#include <functional>
#include <string>
#include <vector>

namespace ksfx {

using LabelOf = std::function<std::string(int sound)>;

// The view's lines, one per channel, each ending with a newline.
std::string channel_view(const std::vector<ChannelState> &channels, const LabelOf &label);

// Draws the view on a terminal, moving the cursor back over the previous drawing first.
class LiveView {
public:
  void draw(const std::string &header, const std::vector<ChannelState> &channels,
            const LabelOf &label);

private:
  int lines_ = 0;
};

} // namespace ksfx
