// The listener and the placement of sounds around it.
#pragma once

#include "ksnd32.h"

#include <cstdint>

namespace engine {

struct Listener {
  int16_t earX; // listener position; host thread
  int16_t earY;
  int16_t earDirection; // 1/512 of a turn; -1 at load
  int16_t envelope;     // distance per step of fall-off; 6 at load
};
extern Listener g_listener;

// Writes the record's x, y, volume and pan for a sound at (x, y); each out-pointer may be null.
void Compute3DPlacement(SoundRecord *record, int16_t x, int16_t y, int32_t *rate, int32_t *volume,
                        int32_t *pan);

} // namespace engine
