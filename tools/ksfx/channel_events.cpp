// Telling channel events apart: a sound that moves from `current` to `suspended` was suspended,
// one that moves back was resumed; any other change of `current` is an end and a start.
#include "channel_events.h"

#include <algorithm>

namespace ksfx {
namespace {

void diff_channel(int channel, const ChannelState &a, const ChannelState &b,
                  std::vector<ChannelEvent> &out) {
  bool suspendedNow = b.suspended != -1 && b.suspended == a.current && a.suspended != a.current;
  bool resumedNow = a.suspended != -1 && b.current == a.suspended && b.suspended != b.current;
  if (a.current != b.current) {
    if (suspendedNow)
      out.push_back({EventKind::Suspend, channel, a.current});
    else if (a.current != -1)
      out.push_back({EventKind::End, channel, a.current});
    if (resumedNow)
      out.push_back({EventKind::Resume, channel, b.current});
    else if (b.current != -1)
      out.push_back({EventKind::Start, channel, b.current});
  }
  // A waiting sound that went away without resuming was dropped with its channel.
  if (a.suspended != -1 && b.suspended != a.suspended && !resumedNow)
    out.push_back({EventKind::End, channel, a.suspended});
}

} // namespace

std::vector<ChannelEvent> diff_channels(std::span<const ChannelState> before,
                                        std::span<const ChannelState> after) {
  std::vector<ChannelEvent> out;
  size_t count = std::max(before.size(), after.size());
  for (size_t i = 0; i < count; ++i) {
    ChannelState a = i < before.size() ? before[i] : ChannelState{};
    ChannelState b = i < after.size() ? after[i] : ChannelState{};
    diff_channel(static_cast<int>(i), a, b, out);
  }
  return out;
}

const char *event_verb(EventKind kind) {
  switch (kind) {
  case EventKind::Start:
    return "starts";
  case EventKind::End:
    return "ends";
  case EventKind::Suspend:
    return "is suspended";
  case EventKind::Resume:
    return "resumes";
  }
  return "?";
}

} // namespace ksfx
