// The channel table as the tool sees it between two looks, and the events told apart by
// comparing two looks: a sound starts, ends, is suspended or resumes on a channel.
#pragma once

#include <span>
#include <vector>

namespace ksfx {

// One channel at one moment. Sounds are keys the host hands out (-1 = none).
struct ChannelState {
  int current = -1;
  int suspended = -1;
  int volume = 0;
  int pan = 64;
};

enum class EventKind { Start, End, Suspend, Resume };

struct ChannelEvent {
  EventKind kind;
  int channel;
  int sound;
};

// Events that turn `before` into `after`, channel by channel, ends before starts.
std::vector<ChannelEvent> diff_channels(std::span<const ChannelState> before,
                                        std::span<const ChannelState> after);

const char *event_verb(EventKind kind); // "starts", "ends", "is suspended", "resumes"

} // namespace ksfx
