// Streaming 16-bit WAV output for renders of any length: samples go to a temporary file whose
// header is completed and which is renamed into place only when the render finishes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>

namespace ksfx {

class WavWriter {
public:
  // The first `dropFrames` frames written are left out (an offline render's output delay).
  WavWriter(const std::filesystem::path &path, uint16_t channels, uint32_t rate,
            uint32_t dropFrames = 0);
  ~WavWriter(); // an unfinished file is removed
  WavWriter(const WavWriter &) = delete;
  WavWriter &operator=(const WavWriter &) = delete;

  void write(std::span<const float> interleaved);
  uint64_t frames() const { return samples_ / channels_; }
  void finish();

private:
  [[noreturn]] void fail() const; // throws a ToolError with the system's reason
  void put(const uint8_t *bytes, size_t size);

  std::filesystem::path path_, temporary_;
  std::FILE *out_ = nullptr;
  uint16_t channels_;
  uint32_t rate_;
  uint64_t samples_ = 0;
  uint64_t toDrop_; // samples still to leave out
  bool finished_ = false;
};

} // namespace ksfx
