// Extended MIDI (XMIDI) reader: the IFF container ("FORM" "XDIR" then "CAT " of "XMID" forms,
// a bare "FORM" "XMID", or a bare "CAT ") and the EVNT stream, whose notes carry durations
// that become scheduled note-offs. Every form is checked, also those not played.
#include "audio/midi/midi_file_reader.h"

#include <algorithm>
#include <cstring>

namespace wail::midi {
namespace {

// 120 ticks per second: time = ticks x 25000 / 3 microseconds.
constexpr uint64_t kXmidiTempo = 25000;
constexpr uint64_t kXmidiDivisor = 3;

// Order classes among events sharing a tick: a note that ends there is released before what
// starts there, except a note of no duration, released after its own note-on.
constexpr uint64_t kEndingNote = 0;
constexpr uint64_t kStreamEvent = uint64_t{1} << 48;
constexpr uint64_t kInstantNoteEnd = uint64_t{2} << 48;

// One IFF chunk: its identifier and a reader over its body. Sizes are big-endian; the next
// chunk starts after the body and its pad byte.
struct Chunk {
  bool ok;
  uint8_t id[4];
  Reader body;
};

Chunk next_chunk(Reader &r) {
  Chunk c{false, {}, r};
  if (!r.has(8)) return c;
  std::memcpy(c.id, r.data + r.pos, sizeof c.id);
  r.pos += sizeof c.id;
  uint32_t length = r.be32();
  if (!r.has(length)) return c;
  c.body = Reader{r.data, r.pos, r.pos + length};
  r.pos += std::min<size_t>((size_t)length + (length & 1), r.left());
  c.ok = true;
  return c;
}

bool is(const uint8_t (&id)[4], const char (&name)[5]) {
  return id[0] == name[0] && id[1] == name[1] && id[2] == name[2] && id[3] == name[3];
}

struct StreamSink {
  bool keep;
  std::vector<RawEvent> &raw;
  uint64_t &order;
};

// A note-on and its duration. The velocity is kept as written: 0 is a silent note here.
bool read_note(Reader &t, uint64_t tick, uint8_t status, uint8_t key, uint8_t velocity,
               StreamSink &sink) {
  uint32_t duration;
  if (!t.vlq(duration) || tick + duration >= kTickLimit) return false;
  if (!sink.keep) return true;
  uint64_t seq = sink.order++;
  sink.raw.push_back({tick, kStreamEvent | seq, status, key, velocity});
  uint64_t end_class = duration ? kEndingNote : kInstantNoteEnd;
  sink.raw.push_back({tick + duration, end_class | seq, (uint8_t)(0x80 | (status & 0x0F)), key, 0});
  return true;
}

bool read_channel_message(Reader &t, uint8_t status, uint64_t tick, StreamSink &sink) {
  uint8_t d1 = t.u8();
  uint8_t d2 = channel_data_bytes(status) == 2 ? t.u8() : 0;
  if (!t.ok || (d1 | d2) & 0x80) return false;
  if ((status & 0xF0) == 0x90) return read_note(t, tick, status, d1, d2, sink);
  if ((status & 0xF0) == 0x80) d2 = 0;
  if (sink.keep) sink.raw.push_back({tick, kStreamEvent | sink.order++, status, d1, d2});
  return true;
}

// Reads an EVNT body up to its end-of-track event; sets `end_tick` to that event's tick.
bool read_stream(Reader t, StreamSink &sink, uint64_t &end_tick) {
  uint64_t tick = 0;
  for (;;) {
    while (t.has(1) && t.peek() < 0x80) tick += t.u8();
    if (tick >= kTickLimit) return false;
    uint8_t status = t.u8();
    if (!t.ok) return false; // no end-of-track event
    if (status < 0xF0) {
      if (!read_channel_message(t, status, tick, sink)) return false;
    } else if (status == 0xF0 || status == 0xF7) {
      uint32_t length;
      if (!t.vlq(length) || !t.skip(length)) return false;
    } else if (status == 0xFF) {
      uint8_t type = t.u8();
      uint32_t length;
      if (!t.vlq(length) || !t.skip(length)) return false;
      if (type == 0x2F) {
        end_tick = tick;
        return true;
      }
    } else {
      return false;
    }
  }
}

// Reads the chunks of one "XMID" form body (after its type); requires exactly one EVNT.
bool read_xmid_form(Reader body, StreamSink &sink, uint64_t &end_tick) {
  int streams = 0;
  while (body.left() > 0) {
    Chunk c = next_chunk(body);
    if (!c.ok) return false;
    if (!is(c.id, "EVNT")) continue;
    if (++streams > 1 || !read_stream(c.body, sink, end_tick)) return false;
  }
  return streams == 1;
}

// The sequence count of an "XDIR" form body (after its type), from its INFO chunk; -1 if none.
int32_t read_directory(Reader body) {
  while (body.left() > 0) {
    Chunk c = next_chunk(body);
    if (!c.ok) return -1;
    if (is(c.id, "INFO")) {
      uint32_t count = c.body.le16();
      return c.body.ok ? (int32_t)count : -1;
    }
  }
  return -1;
}

// Reads every "XMID" form of a CAT body (after its type), keeping the events of form `number`.
bool read_catalogue(Reader body, int32_t number, std::vector<RawEvent> &raw, uint64_t &end_tick) {
  int32_t index = 0;
  uint64_t order = 0;
  bool found = false;
  while (body.left() > 0) {
    Chunk c = next_chunk(body);
    if (!c.ok) return false;
    if (!is(c.id, "FORM") || !c.body.tag("XMID")) continue;
    StreamSink sink{index == number, raw, order};
    uint64_t form_end = 0;
    if (!read_xmid_form(c.body, sink, form_end)) return false;
    if (index == number) {
      end_tick = form_end;
      found = true;
    }
    ++index;
  }
  return found;
}

bool read_container(Reader r, int32_t number, std::vector<RawEvent> &raw, uint64_t &end_tick) {
  Chunk top = next_chunk(r);
  if (!top.ok || !top.body.has(4)) return false;
  if (is(top.id, "CAT "))
    return top.body.tag("XMID") && read_catalogue(top.body, number, raw, end_tick);
  if (!is(top.id, "FORM")) return false;
  Reader after_type = top.body;
  if (after_type.tag("XMID")) {
    uint64_t order = 0;
    StreamSink sink{true, raw, order};
    return number == 0 && read_xmid_form(after_type, sink, end_tick);
  }
  if (!top.body.tag("XDIR")) return false;
  int32_t count = read_directory(top.body);
  if (count < 0 || number >= count) return false;
  Chunk cat = next_chunk(r);
  return cat.ok && is(cat.id, "CAT ") && cat.body.tag("XMID") &&
         read_catalogue(cat.body, number, raw, end_tick);
}

} // namespace

bool parse_xmidi(Reader r, int32_t number, Tune &out) {
  std::vector<RawEvent> raw;
  uint64_t end_tick = 0;
  if (!read_container(r, number, raw, end_tick)) return false;
  TempoMap map{kXmidiDivisor, kXmidiTempo, {}};
  time_events(raw, map, end_tick, out);
  return true;
}

} // namespace wail::midi
