// Streaming WAV writer over stdio, so every failure carries the system's reason.
#include "wav_writer.h"

#include "error.h"
#include "wav_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace ksfx {

namespace fs = std::filesystem;

WavWriter::WavWriter(const fs::path &path, uint16_t channels, uint32_t rate, uint32_t dropFrames)
    : path_(path), temporary_(path), channels_(channels), rate_(rate),
      toDrop_(uint64_t{dropFrames} * channels) {
  temporary_ += ".part";
  out_ = std::fopen(temporary_.string().c_str(), "wb");
  if (!out_) fail();
  std::vector<uint8_t> header = encode_wav16({}, channels_, rate_);
  put(header.data(), header.size());
}

WavWriter::~WavWriter() {
  if (finished_) return;
  if (out_) std::fclose(out_);
  std::error_code ignored;
  fs::remove(temporary_, ignored);
}

void WavWriter::fail() const {
  throw ToolError("cannot write '" + path_.string() + "': " + std::strerror(errno));
}

void WavWriter::put(const uint8_t *bytes, size_t size) {
  if (std::fwrite(bytes, 1, size, out_) != size) fail();
}

void WavWriter::write(std::span<const float> interleaved) {
  const size_t dropped = static_cast<size_t>(std::min<uint64_t>(toDrop_, interleaved.size()));
  toDrop_ -= dropped;
  interleaved = interleaved.subspan(dropped);
  std::vector<int16_t> pcm = to_pcm16(interleaved);
  std::vector<uint8_t> bytes(pcm.size() * 2);
  for (size_t i = 0; i < pcm.size(); ++i) {
    bytes[2 * i] = static_cast<uint8_t>(pcm[i]);
    bytes[2 * i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(pcm[i]) >> 8);
  }
  put(bytes.data(), bytes.size());
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
  if (std::fseek(out_, 0, SEEK_SET) != 0) fail();
  put(header.data(), header.size());
  std::FILE *file = out_;
  out_ = nullptr;
  if (std::fclose(file) != 0) fail();
  std::error_code ec;
  fs::rename(temporary_, path_, ec);
  if (ec) throw ToolError("cannot write '" + path_.string() + "': " + ec.message());
  finished_ = true;
}

} // namespace ksfx
