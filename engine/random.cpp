// The library's private pseudo-random generator, used by random groups. It starts from 1 when
// the library is loaded and is never reseeded, so every run of the host picks the same entries.
#include "engine/playback.h"

namespace engine {
namespace {

struct RandomState {
  uint32_t state; // the generator's state; host thread and callback, both under AIL_lock
};
RandomState g_random = {1};

} // namespace

uint32_t next_random() {
  g_random.state = g_random.state * 214013u + 2531011u;
  return (g_random.state >> 16) & 0x7fffu;
}

void reset_random() { g_random.state = 1; }

} // namespace engine
