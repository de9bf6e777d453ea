// The resampling mode and its two sources, the environment at load and AIL_set_resampling.
// A change applies to each voice from the next time its sample is set up (AIL_set_sample_address
// or AIL_set_sample_type, which the engine calls for every sound it starts); a voice already
// playing keeps the mode it was set up with.
#include "audio/resampling.h"

#include "wail32.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace wail {
namespace {

static_assert(static_cast<int>(Resampler::Linear) == AIL_RESAMPLE_LINEAR &&
              static_cast<int>(Resampler::Sinc) == AIL_RESAMPLE_SINC);

std::atomic<Resampler> g_mode{resampler_from_environment(std::getenv("KSND_RESAMPLER"))};

} // namespace

Resampler resampler_from_environment(const char *value) noexcept {
  if (value == nullptr || *value == '\0' || std::strcmp(value, "sinc") == 0) return Resampler::Sinc;
  if (std::strcmp(value, "linear") == 0) return Resampler::Linear;
  std::fprintf(stderr, "ksnd32: KSND_RESAMPLER=%s not understood (linear, sinc); using sinc\n",
               value);
  return Resampler::Sinc;
}

Resampler resampling_mode() noexcept { return g_mode.load(std::memory_order_relaxed); }

} // namespace wail

extern "C" {

// A value other than AIL_RESAMPLE_LINEAR or AIL_RESAMPLE_SINC changes nothing.
WAIL_API int32_t AIL_set_resampling(int32_t mode) {
  if (mode != AIL_RESAMPLE_LINEAR && mode != AIL_RESAMPLE_SINC)
    return int32_t(wail::resampling_mode());
  const auto chosen = mode == AIL_RESAMPLE_SINC ? wail::Resampler::Sinc : wail::Resampler::Linear;
  return int32_t(wail::g_mode.exchange(chosen));
}

} // extern "C"
