// Chooses the fastest kernel this processor runs: AVX-512, AVX2, else SSE2 on x86-64, SSE2 on
// 32-bit x86 built for it, else the scalar reference. The processor is asked once per process.
#include "audio/kernels/kernel_variants.h"
#include "audio/kernels/mix_kernel.h"

namespace wail {

#if defined(WAIL_KERNELS_X86)
bool kernels::cpu_has_avx2() noexcept {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

// VBMI2 marks the generations (Ice Lake, Zen 4 and later) that run 512-bit arithmetic without
// slowing the whole core's clock, which would cost a game more than the mixer saves.
bool kernels::cpu_has_avx512() noexcept {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vbmi2") &&
         __builtin_cpu_supports("fma");
}

namespace {
enum class Path { Sse2, Avx2, Avx512 };

Path best_path() noexcept {
  if (kernels::cpu_has_avx512()) return Path::Avx512;
  return kernels::cpu_has_avx2() ? Path::Avx2 : Path::Sse2;
}
} // namespace

MixKernel select_kernel(SourceFormat format, Resampler mode) noexcept {
  static const Path path = best_path();
  switch (path) {
  case Path::Avx512:
    return kernels::avx512_kernel(format, mode);
  case Path::Avx2:
    return kernels::avx2_kernel(format, mode);
  case Path::Sse2:
    break;
  }
  return kernels::sse2_kernel(format, mode);
}
#elif defined(WAIL_KERNELS_SSE2)
MixKernel select_kernel(SourceFormat format, Resampler mode) noexcept {
  return kernels::sse2_kernel(format, mode);
}
#else
MixKernel select_kernel(SourceFormat format, Resampler mode) noexcept {
  return scalar_kernel(format, mode);
}
#endif

} // namespace wail
