// Engine state: the initialised flag, the last error code and the driver failure text.
// Module state of the engine; nothing here is exported.
#pragma once

#include <cstdint>

namespace engine {

// Outcome of the last start-up step or playback request.
enum ErrorCode : int32_t {
  kOk = 0,
  kNoWaveDevice = 1,     // waveOutGetNumDevs reports no device
  kNoMatchingFormat = 2, // no device reports the format
  kDriverOpenFailed = 3, // AIL_waveOutOpen failed; driverFailureText holds its text
  kTooFewHandles = 4,    // fewer sample handles than channels
  kOutOfMemory = 5,      // channel table or duplicate pool not allocated
  kNoChannel = 6,        // no idle channel and none with a lower priority
  kAlreadyPlaying = 7,   // KSFX_PlaySFX on a playing record
  kNotInitialised = 8,   // effect operation while the library is not started
};

struct EngineState {
  int32_t initialised;           // 1 between KSOUNDInit and KSOUNDClose; host thread
  int32_t lastError;             // ErrorCode; host thread, under AIL_lock in effect operations
  const char *driverFailureText; // owned by the audio library; host thread
};

// Zero when the module is loaded.
extern EngineState g_state;

inline void set_error(ErrorCode code) { g_state.lastError = code; }

} // namespace engine
