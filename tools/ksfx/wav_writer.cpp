// Streaming WAV writer.
#include "wav_writer.h"

#include "error.h"
#include "wav_file.h"

#include <vector>

namespace ksfx {

namespace fs = std::filesystem;

WavWriter::WavWriter(const fs::path &path, uint16_t channels, uint32_t rate)
    : path_(path), temporary_(path), channels_(channels), rate_(rate) {
  temporary_ += ".part";
  out_.open(temporary_, std::ios::binary | std::ios::trunc);
  if (!out_) throw ToolError("cannot write '" + path.string() + "'");
  std::vector<uint8_t> header = encode_wav16({}, channels_, rate_);
  out_.write(reinterpret_cast<const char *>(header.data()),
             static_cast<std::streamsize>(header.size()));
}

WavWriter::~WavWriter() {
  if (finished_) return;
  out_.close();
  std::error_code ignored;
  fs::remove(temporary_, ignored);
}

void WavWriter::write(std::span<const float> interleaved) {
  std::vector<int16_t> pcm = to_pcm16(interleaved);
  std::vector<uint8_t> bytes(pcm.size() * 2);
  for (size_t i = 0; i < pcm.size(); ++i) {
    bytes[2 * i] = static_cast<uint8_t>(pcm[i]);
    bytes[2 * i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(pcm[i]) >> 8);
  }
  out_.write(reinterpret_cast<const char *>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  samples_ += pcm.size();
  if (samples_ * 2 > 0xFFFFFFF0ull - 44) throw ToolError("the render is too long for a WAV file");
}

void WavWriter::finish() {
  uint32_t dataBytes = static_cast<uint32_t>(samples_ * 2);
  std::vector<uint8_t> header = encode_wav16({}, channels_, rate_);
  auto patch = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
      header[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
  };
  patch(4, 36 + dataBytes);
  patch(40, dataBytes);
  out_.seekp(0);
  out_.write(reinterpret_cast<const char *>(header.data()),
             static_cast<std::streamsize>(header.size()));
  out_.close();
  if (!out_) throw ToolError("cannot write '" + path_.string() + "'");
  std::error_code ec;
  fs::rename(temporary_, path_, ec);
  if (ec) throw ToolError("cannot write '" + path_.string() + "': " + ec.message());
  finished_ = true;
}

} // namespace ksfx
