// The parsers' shared pieces: a bounds-checked byte cursor over MIDI data, the variable-length
// number, and the raw tick-timed event list each parser fills before timing is applied.
#pragma once

#include "audio/midi/midi_file.h"

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace wail::midi {

// Reads forward from `pos` up to `end` (offsets from `data`). A read past `end` yields 0 and
// clears `ok`, so a parser can read a whole field group and test once.
struct Reader {
  const uint8_t *data;
  size_t pos;
  size_t end;
  bool ok = true;

  size_t left() const { return end - pos; }
  bool has(size_t n) const { return n <= end - pos; }
  uint8_t peek() const { return pos < end ? data[pos] : 0; }
  uint8_t u8() {
    if (pos >= end) {
      ok = false;
      return 0;
    }
    return data[pos++];
  }
  uint32_t be16() { return (uint32_t)u8() << 8 | u8(); }
  uint32_t be32() { return be16() << 16 | be16(); }
  uint32_t le16() { return u8() | (uint32_t)u8() << 8; }
  bool skip(size_t n) {
    if (!has(n)) return ok = false;
    pos += n;
    return true;
  }
  bool tag(const char (&id)[5]) {
    if (!has(4)) return ok = false;
    bool same = data[pos] == id[0] && data[pos + 1] == id[1] && data[pos + 2] == id[2] &&
                data[pos + 3] == id[3];
    pos += 4;
    return same;
  }
  // A standard MIDI variable-length number: at most four bytes, seven bits each.
  bool vlq(uint32_t &value) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
      uint8_t b = u8();
      if (!ok) return false;
      value = value << 7 | (b & 0x7F);
      if (!(b & 0x80)) return true;
    }
    return ok = false;
  }
};

// Ticks of a sequence must stay below this; beyond it the data is refused as malformed.
constexpr uint64_t kTickLimit = uint64_t{1} << 32;

// An event before timing: its tick, and a key that orders events sharing a tick.
struct RawEvent {
  uint64_t tick;
  uint64_t order;
  uint8_t status;
  uint8_t data1;
  uint8_t data2;
};

// Number of data bytes after a channel status byte.
inline int channel_data_bytes(uint8_t status) {
  uint8_t kind = status & 0xF0;
  return kind == 0xC0 || kind == 0xD0 ? 1 : 2;
}

// How ticks become microseconds: time = sum of (ticks x tempo) / divisor, with the tempo
// changing at the listed ticks (in tick order). A fixed rate is a map without changes.
struct TempoMap {
  uint64_t divisor;
  uint64_t tempo;                                     // in force from tick 0
  std::vector<std::pair<uint64_t, uint64_t>> changes; // (tick, tempo)
};

// Sorts `raw` by (tick, order), times it through `map` into `out`, and sets the length of one
// play from `end_tick` (or the last event, if later).
void time_events(std::vector<RawEvent> &raw, TempoMap &map, uint64_t end_tick, Tune &out);

bool parse_smf(Reader r, int32_t number, Tune &out);
bool parse_xmidi(Reader r, int32_t number, Tune &out);

} // namespace wail::midi
