// Small MIDI images for the MIDI tests: byte builders for Standard MIDI Files and the IFF
// extended format, and one short tune written both ways.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace midi_test {

using Bytes = std::vector<uint8_t>;

inline Bytes operator+(Bytes a, const Bytes &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
inline Bytes be32(uint32_t v) {
  return {(uint8_t)(v >> 24), (uint8_t)(v >> 16), (uint8_t)(v >> 8), (uint8_t)v};
}
inline Bytes vlq(uint32_t v) {
  Bytes out{(uint8_t)(v & 0x7F)};
  while (v >>= 7) out.insert(out.begin(), (uint8_t)(0x80 | (v & 0x7F)));
  return out;
}
// A chunk: id, big-endian length, body; IFF chunks are padded to even, SMF ones are not.
inline Bytes chunk(const std::string &id, const Bytes &body, bool pad = true) {
  Bytes b = Bytes(id.begin(), id.end()) + be32((uint32_t)body.size()) + body;
  if (pad && (body.size() & 1)) b.push_back(0);
  return b;
}
inline Bytes form(const std::string &type, const Bytes &body) {
  return chunk("FORM", Bytes(type.begin(), type.end()) + body);
}

inline const Bytes kEndOfTrack{0xFF, 0x2F, 0x00};
inline const Bytes kSmfEnd{0x00, 0xFF, 0x2F, 0x00}; // with its delta time

inline Bytes smf(uint8_t format, uint16_t division, const std::vector<Bytes> &tracks) {
  Bytes b = chunk(
      "MThd", {0, format, 0, (uint8_t)tracks.size(), (uint8_t)(division >> 8), (uint8_t)division},
      false);
  for (const Bytes &t : tracks) b = b + chunk("MTrk", t, false);
  return b;
}
inline Bytes xmid_form(const Bytes &events) { return form("XMID", chunk("EVNT", events)); }
// A directory file: "FORM" "XDIR" with INFO, then "CAT " of the given sequence forms.
inline Bytes xdir(uint8_t count, const std::vector<Bytes> &forms) {
  Bytes cat{'X', 'M', 'I', 'D'};
  for (const Bytes &f : forms) cat = cat + f;
  return form("XDIR", chunk("INFO", {count, 0})) + chunk("CAT ", cat);
}

// The reference tune at 120 ticks per second: program 5, notes (start, duration, key), and
// the end at tick 300 (2.5 s). Between 0.75 s and 1 s nothing sounds.
struct Note {
  uint32_t tick, duration;
  uint8_t key;
};
inline const std::vector<Note> kNotes{{0, 60, 60}, {60, 30, 64}, {120, 60, 67}};
constexpr uint32_t kEndTick = 300;

// As a format 0 SMF: division 60 at the default tempo is 120 ticks per second.
inline Bytes reference_smf() {
  struct Edge {
    uint32_t tick;
    uint8_t status, key, velocity;
  };
  std::vector<Edge> edges;
  for (const Note &n : kNotes) {
    edges.push_back({n.tick + n.duration, 0x80, n.key, 0}); // before a note-on at the same tick
    edges.push_back({n.tick, 0x90, n.key, 100});
  }
  std::stable_sort(edges.begin(), edges.end(), [](auto &a, auto &b) { return a.tick < b.tick; });
  Bytes t{0x00, 0xC0, 0x05};
  uint32_t now = 0;
  for (const Edge &e : edges) {
    t = t + vlq(e.tick - now) + Bytes{e.status, e.key, e.velocity};
    now = e.tick;
  }
  return smf(0, 60, {t + vlq(kEndTick - now) + kEndOfTrack});
}

// The same tune as an XMIDI directory file: delays as runs of bytes, notes with durations.
inline Bytes reference_xmidi() {
  Bytes e{0xC0, 0x05};
  uint32_t now = 0;
  auto delay = [&](uint32_t to) {
    for (; now < to; now += std::min<uint32_t>(to - now, 127))
      e.push_back((uint8_t)std::min<uint32_t>(to - now, 127));
  };
  for (const Note &n : kNotes) {
    delay(n.tick);
    e = e + Bytes{0x90, n.key, 100} + vlq(n.duration);
  }
  delay(kEndTick);
  return xdir(1, {xmid_form(e + kEndOfTrack)});
}

} // namespace midi_test
