// A small Standard MIDI File builder (format 0, one track) and the demo's own tune.
#pragma once

#include <cstdint>
#include <vector>

namespace ksfx {

class MidiWriter {
public:
  void program(uint8_t channel, uint8_t program, uint32_t tick);
  void note(uint8_t channel, uint8_t key, uint8_t velocity, uint32_t tick, uint32_t length);
  // The file: header, then one track with the tempo and every event in time order.
  std::vector<uint8_t> file(uint16_t ticksPerQuarter, uint32_t microsPerQuarter) const;

private:
  struct Event {
    uint32_t tick;
    int order; // at equal ticks: programs, then note-offs, then note-ons
    std::vector<uint8_t> bytes;
  };
  std::vector<Event> events_;
};

// About eight seconds at its own tempo: a melody over a bass line, two instruments.
std::vector<uint8_t> demo_tune();

} // namespace ksfx
