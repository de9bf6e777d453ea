// The portable reference kernels: one output frame at a time through the shared steps.
// Every other path is held to these in the tests.
#include "audio/kernels/mix_kernel.h"
#include "audio/kernels/sinc_step.h"
#include "audio/kernels/voice_step.h"

namespace wail {
namespace {

template <SourceFormat F>
uint32_t mix_linear(VoiceMix &voice, float *mix, uint32_t count) noexcept {
  return kernels::mix_reference<kernels::mix_frame<F>>(voice, mix, count);
}

template <SourceFormat F> uint32_t mix_sinc(VoiceMix &voice, float *mix, uint32_t count) noexcept {
  return kernels::mix_reference<kernels::sinc_frame<F>>(voice, mix, count);
}

template <SourceFormat F> MixKernel kernel_for(Resampler mode) {
  return mode == Resampler::Sinc ? mix_sinc<F> : mix_linear<F>;
}

// The kernel for a format value outside the enumeration: the voice ends at once.
uint32_t mix_nothing(VoiceMix &, float *, uint32_t) noexcept { return 0; }

} // namespace

MixKernel scalar_kernel(SourceFormat format, Resampler mode) noexcept {
  switch (format) {
  case SourceFormat::Mono8:
    return kernel_for<SourceFormat::Mono8>(mode);
  case SourceFormat::Mono16:
    return kernel_for<SourceFormat::Mono16>(mode);
  case SourceFormat::Stereo8:
    return kernel_for<SourceFormat::Stereo8>(mode);
  case SourceFormat::Stereo16:
    return kernel_for<SourceFormat::Stereo16>(mode);
  }
  return mix_nothing;
}

} // namespace wail
