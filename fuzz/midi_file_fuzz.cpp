// libFuzzer harness over the MIDI data parser that AIL_init_sequence uses. The first byte picks
// the sequence number; the rest is the data, bounded by the buffer's size.
#include "audio/midi/midi_file.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  wail::midi::Tune tune;
  if (wail::midi::parse_tune(data + 1, size - 1, data[0] % 4, tune)) {
    // An accepted tune is ordered in time and its play covers every event.
    for (size_t i = 1; i < tune.events.size(); ++i)
      if (tune.events[i].time_us < tune.events[i - 1].time_us) __builtin_trap();
    if (!tune.events.empty() && tune.events.back().time_us > tune.length_us) __builtin_trap();
  }
  return 0;
}
