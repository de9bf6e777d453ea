// Fuzzes the WAV set-up over an image in a block of exactly its size. The image's RIFF length
// is what bounds the walk, so the harness keeps it within the block, as a loaded file does.
#include "engine/riff.h"
#include "ksnd32.h"

#include <cstdint>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 12 || size > (1u << 20)) return 0;
  std::unique_ptr<uint8_t[]> image(new uint8_t[size]);
  std::memcpy(image.get(), data, size);
  if (riff::get_le32(image.get() + 4) > size - 8)
    riff::put_le32(image.get() + 4, (uint32_t)(size - 8));
  SampleRecord sample{};
  if (KSFX_SetupWAVsample(&sample, image.get()) == 1 && sample.length > 0) {
    // Accepted data must lie inside the image.
    volatile uint8_t last = sample.data[sample.length - 1];
    (void)last;
  }
  return 0;
}
