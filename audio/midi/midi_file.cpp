// Entry point of the MIDI data parsers: recognises the container (SMF or IFF XMIDI) and turns
// the chosen parser's tick-timed events into the microsecond-timed tune.
#include "audio/midi/midi_file.h"

#include "audio/midi/midi_file_reader.h"

#include <algorithm>

namespace wail::midi {

void time_events(std::vector<RawEvent> &raw, TempoMap &map, uint64_t end_tick, Tune &out) {
  std::stable_sort(raw.begin(), raw.end(), [](const RawEvent &a, const RawEvent &b) {
    return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
  });
  std::stable_sort(map.changes.begin(), map.changes.end(),
                   [](const auto &a, const auto &b) { return a.first < b.first; });
  // Exact: `scaled` holds elapsed time x divisor up to `base_tick`; every term stays below
  // 2^32 ticks x 2^30 tempo.
  uint64_t scaled = 0, base_tick = 0, tempo = map.tempo;
  size_t next_change = 0;
  auto to_us = [&](uint64_t tick) {
    while (next_change < map.changes.size() && map.changes[next_change].first <= tick) {
      scaled += (map.changes[next_change].first - base_tick) * tempo;
      base_tick = map.changes[next_change].first;
      tempo = map.changes[next_change].second;
      ++next_change;
    }
    return (scaled + (tick - base_tick) * tempo) / map.divisor;
  };
  out.events.clear();
  out.events.reserve(raw.size());
  for (const RawEvent &e : raw) out.events.push_back({to_us(e.tick), e.status, e.data1, e.data2});
  if (!raw.empty()) end_tick = std::max(end_tick, raw.back().tick);
  out.length_us = to_us(end_tick);
}

bool parse_tune(const uint8_t *data, size_t limit, int32_t number, Tune &out) {
  if (!data || number < 0) return false;
  Reader r{data, 0, limit};
  if (!r.has(4)) return false;
  if (r.tag("MThd")) return parse_smf(Reader{data, 0, limit}, number, out);
  return parse_xmidi(Reader{data, 0, limit}, number, out);
}

} // namespace wail::midi
