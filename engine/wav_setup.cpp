// WAV sample set-up: fills a SampleRecord that points into a RIFF WAVE image in memory.
// The chunk walk is bounded by the image's RIFF length (bytes 4-7). An image whose length is
// below 4, that has no "fmt " or "data" chunk inside that bound, whose "fmt " body is shorter
// than 16 bytes or runs past the bound, or whose "data" body runs past it, gives 0 and leaves
// the record unchanged.
#include "engine/riff.h"
#include "ksnd32.h"

namespace {

constexpr uint32_t kFmtBodyMinimum = 16;

// A chunk named `id` whose whole body lies within the first `end` bytes of the image.
bool find_whole_chunk(const uint8_t *image, uint64_t end, const char *id, riff::Chunk *out) {
  return riff::find_chunk(image, end, end, id, out) && out->body + out->size <= end;
}

// Sets format and flags from the channel count and bits per sample; other layouts keep the
// record's format.
void set_sample_type(SampleRecord *sample, uint16_t channels, uint16_t bits) {
  sample->flags = 0;
  if ((channels != 1 && channels != 2) || (bits != 8 && bits != 16)) return;
  bool stereo = channels == 2;
  bool wide = bits == 16;
  sample->format = (uint16_t)((stereo ? 2 : 0) + (wide ? 1 : 0));
  if (wide) sample->flags = KSFX_SAMPLE_16BIT;
}

} // namespace

// Fills `sample` from the WAV image: data and length of the "data" chunk, rate from "fmt ",
// volume 100, pan 64, format and flags. 1 done; 0 for a malformed image, record unchanged.
extern "C" KSND_API int32_t KSFX_SetupWAVsample(SampleRecord *sample, void *image) {
  if (sample == nullptr || image == nullptr) return 0;
  auto *bytes = static_cast<uint8_t *>(image);
  uint32_t riffLength = riff::get_le32(bytes + 4);
  if (riffLength < 4) return 0;
  uint64_t end = 8 + (uint64_t)riffLength;

  riff::Chunk fmt{};
  riff::Chunk data{};
  if (!find_whole_chunk(bytes, end, "fmt ", &fmt) || fmt.size < kFmtBodyMinimum) return 0;
  if (!find_whole_chunk(bytes, end, "data", &data)) return 0;

  const uint8_t *format = bytes + fmt.body;
  set_sample_type(sample, riff::get_le16(format + 2), riff::get_le16(format + 14));
  sample->rate = riff::get_le32(format + 4);
  sample->volume = 100;
  sample->pan = 64;
  sample->data = bytes + data.body;
  sample->length = data.size;
  return 1;
}
