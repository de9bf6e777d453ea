// The ring of ended voices: the render (one producer) reports (voice, generation) when a
// voice runs out; the service thread, or the host in offline mode (one consumer), drains it.
#pragma once

#include <cstdint>

namespace wail {

struct EndReport {
  uint32_t voice;      // index into the voice table
  uint32_t generation; // the start that ended
};

// False when the ring is full; the render keeps the report and tries again next block.
bool push_end_report(EndReport report) noexcept;
// False when the ring is empty.
bool pop_end_report(EndReport &report) noexcept;
// Empties the ring. Only while neither side runs.
void clear_end_reports() noexcept;

} // namespace wail
