// Effect playback internals shared with the rest of the engine and with tests.
#pragma once

#include "ksnd32.h"

#include <cstdint>

namespace engine {

// The end-of-sample callback registered on every channel's sample handle.
void end_of_sample(HSAMPLE handle);

// The library's own generator: state * 214013 + 2531011, result bits 16-30. State 1 at load.
uint32_t next_random();
// Puts the generator back to its state at load (tests only).
void reset_random();

} // namespace engine
