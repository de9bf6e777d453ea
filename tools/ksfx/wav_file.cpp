// PCM WAV checking and encoding.
#include "wav_file.h"

#include "error.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace ksfx {
namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;

void put_le16(std::vector<uint8_t> &out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void put_le32(std::vector<uint8_t> &out, uint32_t v) {
  put_le16(out, v & 0xFFFF);
  put_le16(out, v >> 16);
}
void put_id(std::vector<uint8_t> &out, const char *id) { out.insert(out.end(), id, id + 4); }

// The format tag, looking through WAVE_FORMAT_EXTENSIBLE to its sub-format.
uint16_t format_tag(Bytes image, const Chunk &fmt) {
  uint16_t tag = get_le16(image, fmt.body());
  if (tag == kFormatExtensible && fmt.size >= 26) return get_le16(image, fmt.body() + 24);
  return tag;
}

} // namespace

WavShape check_pcm_wav(Bytes image) {
  if (image.size() < 12 || !chunk_id_is(image, 0, "RIFF") || !chunk_id_is(image, 8, "WAVE"))
    throw ToolError("not a WAV file (no RIFF WAVE header)");
  size_t limit = static_cast<size_t>(std::min<uint64_t>(image.size(), 8ull + get_le32(image, 4)));
  auto fmt = find_chunk(image, "fmt ", limit);
  if (!fmt) throw ToolError("no \"fmt \" chunk");
  if (!fmt->bodyFits || fmt->size < 16) throw ToolError("the \"fmt \" chunk is cut short");
  uint16_t tag = format_tag(image, *fmt);
  if (tag != kFormatPcm)
    throw ToolError("not PCM (format tag " + std::to_string(tag) +
                    "); convert it to 8- or 16-bit PCM");
  WavShape shape;
  shape.channels = get_le16(image, fmt->body() + 2);
  shape.rate = get_le32(image, fmt->body() + 4);
  shape.bits = get_le16(image, fmt->body() + 14);
  if ((shape.channels != 1 && shape.channels != 2) || (shape.bits != 8 && shape.bits != 16))
    throw ToolError(std::to_string(shape.channels) + " channels of " + std::to_string(shape.bits) +
                    " bits: only mono or stereo, 8 or 16 bits are played");
  if (shape.rate == 0) throw ToolError("sample rate 0");
  auto data = find_chunk(image, "data", limit);
  if (!data) throw ToolError("no \"data\" chunk");
  if (!data->bodyFits) throw ToolError("the \"data\" chunk runs past the end of the file");
  shape.dataBytes = data->size;
  return shape;
}

std::vector<uint8_t> encode_wav16(std::span<const int16_t> samples, uint16_t channels,
                                  uint32_t rate) {
  uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
  std::vector<uint8_t> out;
  out.reserve(44 + dataBytes);
  put_id(out, "RIFF");
  put_le32(out, 36 + dataBytes);
  put_id(out, "WAVE");
  put_id(out, "fmt ");
  put_le32(out, 16);
  put_le16(out, kFormatPcm);
  put_le16(out, channels);
  put_le32(out, rate);
  put_le32(out, rate * channels * 2);
  put_le16(out, channels * 2u);
  put_le16(out, 16);
  put_id(out, "data");
  put_le32(out, dataBytes);
  for (int16_t s : samples) put_le16(out, static_cast<uint16_t>(s));
  return out;
}

std::vector<int16_t> to_pcm16(std::span<const float> samples) {
  std::vector<int16_t> out(samples.size());
  std::transform(samples.begin(), samples.end(), out.begin(), [](float x) {
    float clipped = std::isnan(x) ? 0.0f : std::clamp(x, -1.0f, 1.0f);
    return static_cast<int16_t>(std::lround(clipped * 32767.0f));
  });
  return out;
}

} // namespace ksfx
