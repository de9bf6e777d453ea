// The device buffer the system output asks for. 1024 frames (21 ms) unless KSND_BUFFER says
// otherwise: a sound server such as PulseAudio buffers about as much as it is asked for, and on
// a busy or virtual machine much less drops out; a desktop that keeps up can ask for 256 and
// hear sounds sooner.
#include "audio/outputs.h"

#include <cstdio>
#include <cstdlib>

namespace wail {
namespace {

constexpr uint32_t kDefaultPeriod = 1024;
constexpr long kShortestPeriod = 64;
constexpr long kLongestPeriod = 8192;

} // namespace

uint32_t device_period_asked() {
  const char *text = std::getenv("KSND_BUFFER");
  if (text == nullptr || *text == '\0') return kDefaultPeriod;
  char *end = nullptr;
  const long frames = std::strtol(text, &end, 10);
  if (*end != '\0' || frames < kShortestPeriod || frames > kLongestPeriod) {
    std::fprintf(stderr, "ksnd32: KSND_BUFFER=%s not understood (64-8192 frames); using %u\n", text,
                 static_cast<unsigned>(kDefaultPeriod));
    return kDefaultPeriod;
  }
  return static_cast<uint32_t>(frames);
}

} // namespace wail
