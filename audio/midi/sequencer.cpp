// The sequencer's clock: exact integer time keeping under tempo changes and any block split,
// and the dispatch of due events with seamless looping.
#include "audio/midi/sequencer.h"

#include <algorithm>

namespace wail::midi {
namespace {

constexpr uint64_t kMicrosecondsPerSecond = 1000000;
// Shorter tunes play once whatever the loop count: looping them would spend a render block
// resending the same events many times over.
constexpr uint64_t kShortestLoop_us = 10000;

// Tune time of one frame, in remainder units (1 / (100 x rate) microseconds).
uint64_t units_per_frame(const Playback &p) { return kMicrosecondsPerSecond * (uint64_t)p.tempo; }

// Keeps the remainder's unit in step with the rate; a change of rate drops under 1 us.
void use_rate(Playback &p, uint32_t rate) {
  if (p.rate != rate) {
    p.rate = rate;
    p.pos_rem = 0;
  }
}

uint64_t due_time(const Playback &p) {
  return p.next < p.tune->events.size() ? p.tune->events[p.next].time_us : p.tune->length_us;
}

bool more_plays(const Playback &p) {
  if (p.tune->length_us < kShortestLoop_us) return false;
  return p.loop_count == 0 || p.plays_done + 1 < (uint64_t)std::max(p.loop_count, 1);
}

} // namespace

void rewind(Playback &p) {
  p.pos_us = 0;
  p.pos_rem = 0;
  p.next = 0;
  p.plays_done = 0;
}

void set_tempo(Playback &p, int32_t percent) { p.tempo = std::clamp(percent, 0, kMaxTempo); }

uint32_t frames_until_due(const Playback &p, uint32_t rate, uint32_t limit) {
  if (!p.playing || !p.tune || p.tempo == 0 || rate == 0) return limit;
  uint64_t due = due_time(p);
  if (due <= p.pos_us) return 0;
  uint64_t per_frame = units_per_frame(p);
  uint64_t per_us = 100 * (uint64_t)rate;
  uint64_t rem = p.rate == rate ? p.pos_rem : 0;
  // Beyond the block the exact count is not needed, and the products below stay small.
  uint64_t span_us = (uint64_t)limit * per_frame / per_us + 1;
  if (due - p.pos_us > span_us) return limit;
  uint64_t needed = (due - p.pos_us) * per_us - rem;
  uint64_t frames = (needed + per_frame - 1) / per_frame;
  return (uint32_t)std::min<uint64_t>(frames, limit);
}

void advance(Playback &p, uint32_t frames, uint32_t rate) {
  if (!p.playing || rate == 0) return;
  use_rate(p, rate);
  uint64_t per_us = 100 * (uint64_t)rate;
  p.pos_rem += (uint64_t)frames * units_per_frame(p);
  p.pos_us += p.pos_rem / per_us;
  p.pos_rem %= per_us;
}

void dispatch_due(Playback &p, EventSender send, void *context) {
  if (!p.tune) return;
  while (p.playing) {
    const std::vector<Event> &events = p.tune->events;
    while (p.next < events.size() && events[p.next].time_us <= p.pos_us)
      send(context, events[p.next++]);
    if (p.next < events.size() || p.pos_us < p.tune->length_us) return;
    if (!more_plays(p)) {
      p.playing = false;
      return;
    }
    p.pos_us -= p.tune->length_us;
    p.next = 0;
    ++p.plays_done;
  }
}

} // namespace wail::midi
