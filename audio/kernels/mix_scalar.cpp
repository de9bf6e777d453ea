// The portable reference kernels: one output frame at a time through the shared step.
// Every other path is held to these in the tests.
#include "audio/kernels/mix_kernel.h"
#include "audio/kernels/voice_step.h"

namespace wail {
namespace {

template <SourceFormat F>
uint32_t mix_scalar(VoiceMix &voice, float *mix, uint32_t count) noexcept {
  return kernels::mix_reference<F>(voice, mix, count);
}

// The kernel for a format value outside the enumeration: the voice ends at once.
uint32_t mix_nothing(VoiceMix &, float *, uint32_t) noexcept { return 0; }

} // namespace

MixKernel scalar_kernel(SourceFormat format) noexcept {
  switch (format) {
  case SourceFormat::Mono8:
    return mix_scalar<SourceFormat::Mono8>;
  case SourceFormat::Mono16:
    return mix_scalar<SourceFormat::Mono16>;
  case SourceFormat::Stereo8:
    return mix_scalar<SourceFormat::Stereo8>;
  case SourceFormat::Stereo16:
    return mix_scalar<SourceFormat::Stereo16>;
  }
  return mix_nothing;
}

} // namespace wail
