// Standard MIDI File writing: delta times as variable-length quantities, an end-of-track.
#include "midi_writer.h"

#include <algorithm>

namespace ksfx {
namespace {

void put_be32(std::vector<uint8_t> &out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

void put_varlen(std::vector<uint8_t> &out, uint32_t v) {
  uint8_t groups[5];
  int n = 0;
  do {
    groups[n++] = static_cast<uint8_t>(v & 0x7F);
    v >>= 7;
  } while (v);
  while (n-- > 0) out.push_back(static_cast<uint8_t>(groups[n] | (n ? 0x80 : 0)));
}

} // namespace

void MidiWriter::program(uint8_t channel, uint8_t program, uint32_t tick) {
  events_.push_back({tick, 0, {static_cast<uint8_t>(0xC0 | (channel & 15)), program}});
}

void MidiWriter::note(uint8_t channel, uint8_t key, uint8_t velocity, uint32_t tick,
                      uint32_t length) {
  events_.push_back({tick, 2, {static_cast<uint8_t>(0x90 | (channel & 15)), key, velocity}});
  events_.push_back({tick + length, 1, {static_cast<uint8_t>(0x80 | (channel & 15)), key, 0}});
}

std::vector<uint8_t> MidiWriter::file(uint16_t ticksPerQuarter, uint32_t microsPerQuarter) const {
  std::vector<Event> sorted = events_;
  std::stable_sort(sorted.begin(), sorted.end(), [](const Event &a, const Event &b) {
    return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
  });
  std::vector<uint8_t> track = {0x00,
                                0xFF,
                                0x51,
                                0x03,
                                static_cast<uint8_t>(microsPerQuarter >> 16),
                                static_cast<uint8_t>(microsPerQuarter >> 8),
                                static_cast<uint8_t>(microsPerQuarter)};
  uint32_t now = 0;
  for (const Event &e : sorted) {
    put_varlen(track, e.tick - now);
    now = e.tick;
    track.insert(track.end(), e.bytes.begin(), e.bytes.end());
  }
  track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});

  std::vector<uint8_t> out = {'M', 'T', 'h', 'd'};
  put_be32(out, 6);
  out.insert(out.end(), {0, 0, 0, 1, static_cast<uint8_t>(ticksPerQuarter >> 8),
                         static_cast<uint8_t>(ticksPerQuarter)});
  out.insert(out.end(), {'M', 'T', 'r', 'k'});
  put_be32(out, static_cast<uint32_t>(track.size()));
  out.insert(out.end(), track.begin(), track.end());
  return out;
}

std::vector<uint8_t> demo_tune() {
  constexpr uint32_t q = 96; // ticks per quarter note
  MidiWriter midi;
  midi.program(0, 11, 0); // vibraphone melody
  midi.program(1, 32, 0); // acoustic bass
  const uint8_t melody[] = {72, 76, 79, 76, 74, 77, 81, 77, 76, 79, 84, 79, 77, 74, 72, 72};
  for (uint32_t i = 0; i < 16; ++i) midi.note(0, melody[i], 96, i * q, q - 8);
  const uint8_t bass[] = {48, 50, 52, 53};
  for (uint32_t bar = 0; bar < 4; ++bar)
    for (uint32_t beat = 0; beat < 4; beat += 2)
      midi.note(1, bass[bar], 100, (bar * 4 + beat) * q, 2 * q - 8);
  midi.note(0, 84, 100, 16 * q, 2 * q); // closing note
  return midi.file(q, 500000);          // 120 beats a minute: 18 beats in 9 seconds
}

} // namespace ksfx
