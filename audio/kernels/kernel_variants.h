// The individual SIMD kernels behind select_kernel, for the dispatcher and for tests that hold
// each one to the scalar reference. SSE2 wherever the compiler targets it (every x86-64 build,
// 32-bit x86 builds with -msse2); AVX2 and AVX-512 on x86-64 only. Elsewhere select_kernel is
// the scalar path.
#pragma once

#include "audio/kernels/mix_kernel.h"

#if defined(__x86_64__) || (defined(__i386__) && defined(__SSE2__))
#define WAIL_KERNELS_SSE2 1
#endif
#if defined(__x86_64__)
#define WAIL_KERNELS_X86 1
#endif

namespace wail::kernels {

#if defined(WAIL_KERNELS_SSE2)
MixKernel sse2_linear_kernel(SourceFormat format) noexcept;
MixKernel sse2_sinc_kernel(SourceFormat format) noexcept;
inline MixKernel sse2_kernel(SourceFormat format, Resampler mode) noexcept {
  return mode == Resampler::Sinc ? sse2_sinc_kernel(format) : sse2_linear_kernel(format);
}
#endif

#if defined(WAIL_KERNELS_X86)
// Call only where cpu_has_avx2() holds.
MixKernel avx2_linear_kernel(SourceFormat format) noexcept;
MixKernel avx2_sinc_kernel(SourceFormat format) noexcept;
inline MixKernel avx2_kernel(SourceFormat format, Resampler mode) noexcept {
  return mode == Resampler::Sinc ? avx2_sinc_kernel(format) : avx2_linear_kernel(format);
}
// Call only where cpu_has_avx512() holds.
MixKernel avx512_linear_kernel(SourceFormat format) noexcept;
MixKernel avx512_sinc_kernel(SourceFormat format) noexcept;
inline MixKernel avx512_kernel(SourceFormat format, Resampler mode) noexcept {
  return mode == Resampler::Sinc ? avx512_sinc_kernel(format) : avx512_linear_kernel(format);
}
// The processor and the operating system both support AVX2 and FMA.
bool cpu_has_avx2() noexcept;
// The same for AVX-512F, on a processor that runs it without lowering its clock for long.
bool cpu_has_avx512() noexcept;
#endif

} // namespace wail::kernels
