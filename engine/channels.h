// The digital driver and the channel pool: device search, driver open, one sample handle per
// channel, and the idle record that free channels point at.
#pragma once

#include "ksnd32.h"

#include <cstdint>

namespace engine {

// The static record with id -2 that a free channel holds as its current record.
extern SoundRecord g_idleRecord;

struct ChannelPool {
  Channel
      *table; // one block, one entry per sample handle; host thread and callback, under the lock
  uint16_t count;    // set only once the whole table is built
  HDIGDRIVER driver; // the open digital driver, from its open until the table is released
};
extern ChannelPool g_channels;

// Highest-numbered wave device reporting a format that meets every non-zero criterion; sets
// the last error code (0, 1 or 2). Returns the device number, or -1.
int32_t find_wave_device(uint16_t bits, uint32_t rate, uint32_t stereo);

// Device search, driver open and channel table set-up. 1 = done; 0 with codes 1-5.
int32_t open_driver(uint16_t bits, uint32_t rate, uint32_t stereo, uint16_t channels);

// Releases the channel table (after AIL_shutdown has released the handles).
void release_channel_table();

// Gives back what a failed start-up obtained: the digital driver with its sample handles
// (AIL_waveOutClose), then the channel table, so a later start-up can open the driver again.
void abandon_driver();

// Whether a live channel holds the record, as its current record or as its suspended one.
bool channel_holds(const SoundRecord *record);

// The channel count usable now: 0 while the library is not initialised, so nothing reaches a
// released table.
uint16_t live_channel_count();

} // namespace engine
