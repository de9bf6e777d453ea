// Fuzzes the WAV set-up over an image in a block of exactly the input's size from the library's
// allocator, as a file read with KSFX_FileRead lies: the set-up bounds every read by that block,
// and ASan sees any read past it.
#include "ksnd32.h"
#include "platform/memory.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > (1u << 20)) return 0;
  auto *image = static_cast<uint8_t *>(platform::global_alloc(size));
  if (!image) return 0;
  if (size > 0) std::memcpy(image, data, size);
  SampleRecord sample{};
  if (KSFX_SetupWAVsample(&sample, image) == 1 && sample.length > 0) {
    // Accepted data must lie inside the image.
    if (sample.data < image || sample.data + sample.length > image + size) __builtin_trap();
    volatile uint8_t last = sample.data[sample.length - 1];
    (void)last;
  }
  GlobalFree(image);
  return 0;
}
