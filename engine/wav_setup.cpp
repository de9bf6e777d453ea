// WAV sample set-up: fills a SampleRecord that points into a RIFF WAVE image in memory.
//
// The result is 1 whenever both a "fmt " and a "data" chunk are found, and 0 only when one of
// them is missing; the RIFF header (identifier, form type, length) is not examined. `flags`
// becomes 0 first; a refused image changes nothing else. The "fmt " fields are read at their
// body offsets (channels 2, rate 4, bits 14) whatever the chunk's size says, so a 14-byte "fmt "
// chunk is read as written.
//
// Bounds: when the image is a block whose size the library knows (a KSFX_FileRead block, or
// one of the importer's reads), every chunk header and field read lies inside that block: a
// chunk whose 8-byte header does not fit counts as missing, a field whose bytes lie outside reads
// as 0 (bits or channels outside give the "anything else" row, a rate outside gives 0), and
// `length` is cut to the bytes of the block after the "data" header, so playback never reads
// past the block. For any other memory the walk is bounded by nothing but a match, as the
// interface is written: such an image must hold both chunks.
#include "engine/riff.h"
#include "exports/boundary.h"
#include "ksnd32.h"
#include "platform/memory.h"

#include <algorithm>
#include <cstdint>

namespace {

// Body offsets of the "fmt " fields that are read.
constexpr uint64_t kChannelsAt = 2;
constexpr uint64_t kRateAt = 4;
constexpr uint64_t kBitsAt = 14;

// The image and how far it may be read: its block's size, or without limit.
struct Image {
  uint8_t *bytes;
  uint64_t limit;
};

Image image_of(void *image) {
  std::size_t size = 0;
  if (platform::known_block_size(image, &size)) return {static_cast<uint8_t *>(image), size};
  return {static_cast<uint8_t *>(image), UINT64_MAX};
}

uint16_t field16(const Image &image, uint64_t at) {
  return at + 2 <= image.limit ? riff::get_le16(image.bytes + at) : 0;
}
uint32_t field32(const Image &image, uint64_t at) {
  return at + 4 <= image.limit ? riff::get_le32(image.bytes + at) : 0;
}

// Sets format and flags from the channel count and bits per sample; other layouts keep the
// record's format.
void set_sample_type(SampleRecord *sample, uint16_t channels, uint16_t bits) {
  if ((channels != 1 && channels != 2) || (bits != 8 && bits != 16)) return;
  bool stereo = channels == 2;
  bool wide = bits == 16;
  sample->format = (uint16_t)((stereo ? 2 : 0) + (wide ? 1 : 0));
  if (wide) sample->flags = KSFX_SAMPLE_16BIT;
}

// Fills `sample` from the WAV image: data and length of the "data" chunk, rate from "fmt ",
// volume 100, pan 64, format and flags. 1 done; 0 when "fmt " or "data" is missing.
int32_t setup_wav_sample(SampleRecord *sample, void *image) {
  if (sample == nullptr) return 0;
  sample->flags = 0;
  if (image == nullptr) return 0;
  const Image wav = image_of(image);
  riff::Chunk fmt{};
  riff::Chunk data{};
  if (!riff::find_chunk(wav.bytes, wav.limit, wav.limit, "fmt ", &fmt) ||
      !riff::find_chunk(wav.bytes, wav.limit, wav.limit, "data", &data))
    return 0;

  set_sample_type(sample, field16(wav, fmt.body + kChannelsAt), field16(wav, fmt.body + kBitsAt));
  sample->rate = field32(wav, fmt.body + kRateAt);
  sample->volume = 100;
  sample->pan = 64;
  sample->data = wav.bytes + data.body;
  sample->length = (uint32_t)std::min<uint64_t>(data.size, wav.limit - data.body);
  return 1;
}

} // namespace

extern "C" KSND_API int32_t KSFX_SetupWAVsample(SampleRecord *sample, void *image) {
  return exports::guarded(0, [=] { return setup_wav_sample(sample, image); });
}
