// Effect playback internals shared with the rest of the engine and with tests.
#pragma once

#include "ksnd32.h"

#include <cstdint>

namespace engine {

// The end-of-sample callback registered on every channel's sample handle.
void end_of_sample(HSAMPLE handle);

// Takes the record back from every live channel where it waits suspended: the channel forgets
// it and its resume marker becomes 0, so the record never resumes there. A suspended group,
// which reads as playing while it waits, stops playing. Caller holds the audio lock.
void withdraw_suspended(SoundRecord *record);

// The library's own generator: state * 214013 + 2531011, result bits 16-30. State 1 at load.
uint32_t next_random();
// Puts the generator back to its state at load (tests only).
void reset_random();

} // namespace engine
