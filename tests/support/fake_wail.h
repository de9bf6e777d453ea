// Recording fake of the audio library for unit tests: every AIL_ call is recorded in order with
// its arguments, devices and failures are configured per test, and a test can end a sample "by
// itself" as the library's service thread would.
#pragma once

#include "wail32.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fake {

// One recorded call: the function name and its arguments as integers (handles and pointers cast).
struct Call {
  std::string name;
  std::vector<intptr_t> args;
};

// What the fake answers. reset() restores these defaults: one wave device reporting 11025 Hz
// stereo 8-bit, an open that succeeds, unlimited sample handles, one MIDI device that opens on
// the mapper, a sequence handle, init_sequence accepting, starts confirmed. Like the audio
// library, the fake opens one digital driver at a time: a second open fails until AIL_shutdown
// or AIL_waveOutClose, which also give back the driver's sample handles.
struct Config {
  std::vector<uint32_t> waveDevices{WAVE_FORMAT_1S08}; // dwFormats per device
  int32_t waveOpenResult = 0;
  std::string lastError = "fake: wave device busy";
  int sampleHandleLimit = 1 << 20;
  uint32_t midiDevices = 1;
  bool mapperOpens = true;
  bool device0Opens = true;
  bool sequenceHandleAvailable = true;
  int32_t initSequenceResult = 1;
  uint32_t sequenceStatus = SEQ_DONE;
  int32_t sequenceTempo = 100;
  bool startConfirms = true; // AIL_start_sample leaves the status at SMP_PLAYING
};

// Per-handle state the fake keeps.
struct Sample {
  AILSAMPLECB callback = nullptr;
  intptr_t userData[2] = {0, 0};
  const void *address = nullptr;
  uint32_t length = 0;
  int32_t format = 0;
  uint32_t typeFlags = 0;
  int32_t loopCount = 1;
  int32_t rate = 0;
  int32_t volume = 0;
  int32_t pan = 0;
  uint32_t status = SMP_DONE;
  uint32_t position = 0;
};

void reset();
Config &config();
const std::vector<Call> &calls();
void clear_calls();
// Number of recorded calls of `name`.
int count(const std::string &name);
// Names of the recorded calls, in order (for asserting "no audio-library call was made").
std::vector<std::string> call_names();

Sample &sample(HSAMPLE handle);
// Moves a playing sample's byte position, as playback would.
void advance(HSAMPLE handle, uint32_t position);
// Ends a playing sample by itself: on a separate thread holding AIL_lock, status updated first,
// then the end-of-sample callback. Returns when the callback has returned.
void finish_sample(HSAMPLE handle);

// Sequence-side state set by the last calls.
struct Sequence {
  const void *data = nullptr;
  int32_t number = 0;
  int32_t loopCount = 1;
  int32_t volume = 127;
};
Sequence &sequence();

} // namespace fake
