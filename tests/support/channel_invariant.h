// The invariant the engine keeps over its channel table, for tests and the API fuzzer: every busy
// channel's current record plays (status 1) and names that channel, and no record is current on
// two channels. So a host that stops every record it knows of leaves every channel idle.
#pragma once

#include "engine/channels.h"

#include <string>

namespace support {

// A description of the first breach of the invariant, or an empty string. Caller holds the
// audio lock (or no callback can run).
inline std::string channel_invariant_breach() {
  const uint16_t count = engine::live_channel_count();
  for (uint16_t k = 0; k < count; ++k) {
    const Channel &channel = engine::g_channels.table[k];
    const SoundRecord *current = channel.current;
    if (current == &engine::g_idleRecord) continue;
    const std::string where = "channel " + std::to_string(k);
    if (current->status != 1) return where + ": current record does not read as playing";
    if (current->channel != &channel) return where + ": current record names another channel";
    for (uint16_t other = 0; other < k; ++other)
      if (engine::g_channels.table[other].current == current)
        return where + ": current record is also current on channel " + std::to_string(other);
  }
  return {};
}

// What each busy channel holds, one line each: for a failure message.
inline std::string describe_busy_channels() {
  std::string text;
  for (uint16_t k = 0; k < engine::live_channel_count(); ++k) {
    const Channel &channel = engine::g_channels.table[k];
    const SoundRecord *r = channel.current;
    if (r == &engine::g_idleRecord) continue;
    text += "channel " + std::to_string(k) + ": id " + std::to_string(r->id) + " status " +
            std::to_string(r->status) + " flags " + std::to_string(r->flags) +
            (r->channel == &channel ? " on this channel" : " naming another channel") +
            (channel.suspended ? ", one suspended behind it\n" : "\n");
  }
  return text;
}

// Channels whose current record is not the idle record.
inline int busy_channels() {
  int busy = 0;
  for (uint16_t k = 0; k < engine::live_channel_count(); ++k)
    busy += engine::g_channels.table[k].current != &engine::g_idleRecord;
  return busy;
}

} // namespace support
