// Holds the audio library's recursive lock for the lifetime of a scope. Every effect
// operation runs under it, so the host's calls and end-of-sample callbacks never interleave.
#pragma once

#include "wail32.h"

namespace engine {

class AudioLock {
public:
  AudioLock() { AIL_lock(); }
  ~AudioLock() { AIL_unlock(); }
  AudioLock(const AudioLock &) = delete;
  AudioLock &operator=(const AudioLock &) = delete;
};

} // namespace engine
