// The individual SIMD kernels behind select_kernel, for the dispatcher and for tests that hold
// each one to the scalar reference. x86-64 only; elsewhere select_kernel is the scalar path.
#pragma once

#include "audio/kernels/mix_kernel.h"

#if defined(__x86_64__)
#define WAIL_KERNELS_X86 1

namespace wail::kernels {

// SSE2 is part of x86-64, so this path runs on every processor the build targets.
MixKernel sse2_kernel(SourceFormat format) noexcept;
// Call only where cpu_has_avx2() holds.
MixKernel avx2_kernel(SourceFormat format) noexcept;
// Call only where cpu_has_avx512() holds.
MixKernel avx512_kernel(SourceFormat format) noexcept;
// The processor and the operating system both support AVX2 and FMA.
bool cpu_has_avx2() noexcept;
// The same for AVX-512F, on a processor that runs it without lowering its clock for long.
bool cpu_has_avx512() noexcept;

} // namespace wail::kernels
#endif
