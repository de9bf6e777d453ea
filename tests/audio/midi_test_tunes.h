// Small MIDI images for the MIDI tests: byte builders for Standard MIDI Files and the IFF
// extended format, and one short tune written both ways.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace midi_test {

using Bytes = std::vector<uint8_t>;

inline Bytes operator+(Bytes a, const Bytes &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
// A chunk: id, big-endian length, body; IFF chunks are padded to even, SMF ones are not.
inline Bytes chunk(const std::string &id, const Bytes &body, bool pad = true) {
  const auto n = static_cast<uint32_t>(body.size());
  Bytes b = Bytes(id.begin(), id.end()) +
            Bytes{uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)} + body;
  if (pad && (n & 1)) b.push_back(0);
  return b;
}
inline Bytes form(const std::string &type, const Bytes &body) {
  return chunk("FORM", Bytes(type.begin(), type.end()) + body);
}

inline const Bytes kEndOfTrack{0xFF, 0x2F, 0x00};
inline const Bytes kSmfEnd{0x00, 0xFF, 0x2F, 0x00}; // with its delta time

inline Bytes smf(uint8_t format, uint16_t division, const std::vector<Bytes> &tracks) {
  const auto n = uint8_t(tracks.size()), high = uint8_t(division >> 8), low = uint8_t(division);
  Bytes b = chunk("MThd", {0, format, 0, n, high, low}, false);
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

// The reference tune at 120 ticks per second: program 5, notes (tick, length, key) (0, 60, 60),
// (60, 30, 64) and (120, 60, 67), silence from 0.75 s to 1 s, and the end at tick 300 (2.5 s).
constexpr uint32_t kEndTick = 300;
// As a format 0 SMF: division 60 at the default tempo is 120 ticks per second.
inline Bytes reference_smf() {
  return smf(0, 60, {{0,    0xC0, 5, 0,  0x90, 60, 100, 60, 0x80, 60, 0, 0,   0x90, 64,   100, 30,
                      0x80, 64,   0, 30, 0x90, 67, 100, 60, 0x80, 67, 0, 120, 0xFF, 0x2F, 0}});
}
// The same tune as an XMIDI directory file: delays as runs of bytes, notes with durations.
inline Bytes reference_xmidi() {
  return xdir(1, {xmid_form({0xC0, 5,    0x90, 60,  100, 60,  60, 0x90, 64,   100, 30,
                             60,   0x90, 67,   100, 60,  127, 53, 0xFF, 0x2F, 0})});
}

} // namespace midi_test
