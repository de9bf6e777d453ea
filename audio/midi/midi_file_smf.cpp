// Standard MIDI File reader: formats 0 and 1 merge their tracks under one tempo map; in
// format 2 the sequence number picks one track, which keeps its own tempo. Every track is
// checked, also those not played. Running status survives meta and system-exclusive events,
// as lenient players allow; unknown chunks between tracks are skipped.
#include "audio/midi/midi_file_reader.h"

#include <algorithm>

namespace wail::midi {
namespace {

constexpr uint64_t kDefaultTempo = 500000; // microseconds per quarter note

// Where one track's events go: `keep` false only checks the track.
struct TrackSink {
  bool keep;
  bool tempo_meta; // false under SMPTE timing, where tempo events do not apply
  std::vector<RawEvent> &raw;
  TempoMap &map;
  uint64_t &order;
};

bool read_meta(Reader &t, uint64_t tick, TrackSink &sink, bool &ended) {
  uint8_t type = t.u8();
  uint32_t length;
  if (!t.vlq(length) || !t.has(length)) return false;
  if (type == 0x2F) {
    ended = true;
    return true;
  }
  if (type == 0x51 && sink.tempo_meta) {
    if (length < 3) return false;
    uint64_t tempo = (uint64_t)t.data[t.pos] << 16 | t.data[t.pos + 1] << 8 | t.data[t.pos + 2];
    if (tempo == 0) return false;
    if (sink.keep) sink.map.changes.emplace_back(tick, tempo);
  }
  return t.skip(length);
}

bool read_channel_message(Reader &t, uint8_t status, uint64_t tick, TrackSink &sink) {
  uint8_t d1 = t.u8();
  uint8_t d2 = channel_data_bytes(status) == 2 ? t.u8() : 0;
  if (!t.ok || (d1 | d2) & 0x80) return false;
  uint8_t kind = status & 0xF0;
  if (kind == 0x80 || (kind == 0x90 && d2 == 0)) {
    status = 0x80 | (status & 0x0F);
    d2 = 0;
  }
  if (sink.keep) sink.raw.push_back({tick, sink.order++, status, d1, d2});
  return true;
}

// Reads one track chunk body up to its end-of-track event; sets `end_tick` to that event's tick.
bool read_track(Reader t, TrackSink &sink, uint64_t &end_tick) {
  uint64_t tick = 0;
  uint8_t running = 0;
  for (;;) {
    uint32_t delta;
    if (!t.vlq(delta)) return false;
    tick += delta;
    if (tick >= kTickLimit || !t.has(1)) return false;
    uint8_t status = t.peek() & 0x80 ? t.u8() : running;
    if (status == 0) return false; // running status with no status before it
    if (status < 0xF0) {
      running = status;
      if (!read_channel_message(t, status, tick, sink)) return false;
    } else if (status == 0xF0 || status == 0xF7) {
      uint32_t length;
      if (!t.vlq(length) || !t.skip(length)) return false;
    } else if (status == 0xFF) {
      bool ended = false;
      if (!read_meta(t, tick, sink, ended)) return false;
      if (ended) {
        end_tick = tick;
        return true;
      }
    } else {
      return false; // system common and real-time bytes have no place in a file
    }
  }
}

// Sets the map's base from the header's division: ticks per quarter note, or SMPTE frames.
bool read_division(uint32_t division, TempoMap &map, bool &tempo_meta) {
  if (division & 0x8000) {
    uint32_t fps = 256 - (division >> 8), ticks_per_frame = division & 0xFF;
    if ((fps != 24 && fps != 25 && fps != 29 && fps != 30) || ticks_per_frame == 0) return false;
    map.divisor = 1000 * (fps == 29 ? 30 : fps) * ticks_per_frame;
    map.tempo = fps == 29 ? 1001000000 : 1000000000;
    tempo_meta = false;
    return true;
  }
  if (division == 0) return false;
  map.divisor = division;
  map.tempo = kDefaultTempo;
  tempo_meta = true;
  return true;
}

} // namespace

bool parse_smf(Reader r, int32_t number, Tune &out) {
  r.tag("MThd");
  uint32_t header_length = r.be32();
  if (!r.ok || header_length < 6 || !r.has(header_length)) return false;
  size_t after_header = r.pos + header_length;
  uint32_t format = r.be16(), tracks = r.be16(), division = r.be16();
  r.pos = after_header;
  if (format > 2 || tracks == 0) return false;
  if ((uint32_t)number >= (format == 2 ? tracks : 1)) return false;

  TempoMap map{};
  bool tempo_meta = true;
  if (!read_division(division, map, tempo_meta)) return false;
  std::vector<RawEvent> raw;
  uint64_t order = 0, end_tick = 0;
  for (uint32_t track = 0; track < tracks;) {
    bool is_track = r.tag("MTrk");
    uint32_t length = r.be32();
    if (!r.ok || !r.has(length)) return false;
    Reader body{r.data, r.pos, r.pos + length};
    r.pos += length;
    if (!is_track) continue;
    bool keep = format != 2 || track == (uint32_t)number;
    TrackSink sink{keep, tempo_meta, raw, map, order};
    uint64_t track_end = 0;
    if (!read_track(body, sink, track_end)) return false;
    if (keep) end_tick = std::max(end_tick, track_end);
    ++track;
  }
  time_events(raw, map, end_tick, out);
  return true;
}

} // namespace wail::midi
