// The WAV output: the mix is pulled in real time and written to a file as 16-bit stereo PCM.
// The file holds exactly the frames the mixer rendered, up to the close (what the ring still
// holds then is written too): an underrun makes no silence up. The
// RIFF and data sizes are written at close; a file that reaches the RIFF limit (4 GiB, about
// six hours at 48000 Hz) stops growing, and a write error stops writing. Both are reported on
// standard error at close.
#include "audio/library.h"
#include "audio/outputs.h"
#include "audio/pacer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace wail {
namespace {

constexpr uint32_t kRate = 48000;
constexpr uint32_t kHeaderBytes = 44;
constexpr uint32_t kMaxDataBytes = 0xFFFFFFFFu - kHeaderBytes;

struct WavFileState {
  std::FILE *file;               // open between wavfile_open and wavfile_close
  Pacer *pacer;                  // pulls the mix while the file is open
  FrameRing *ring;               // what it pulls from; drained into the file at close
  std::string path;              // host thread
  uint32_t dataBytes;            // PCM bytes written; pacing thread while open, then host
  bool failed;                   // a write failed; pacing thread while open, then host
  bool full;                     // the data reached kMaxDataBytes; as `failed`
  int16_t pcm[2 * kPacerPeriod]; // pacing thread
};
WavFileState g_wav;

void put_le16(uint8_t *at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

void put_le32(uint8_t *at, uint32_t value) {
  put_le16(at, static_cast<uint16_t>(value));
  put_le16(at + 2, static_cast<uint16_t>(value >> 16));
}

// The 44-byte canonical header of 16-bit stereo PCM at kRate with `dataBytes` of samples.
//   OFFSET SIZE FIELD
//      0     4  "RIFF", 4 size = 36 + data, 8 "WAVE"
//     12     4  "fmt ", 16 size 16, 20 tag 1, 22 channels 2, 24 rate, 28 bytes/s, 32 align 4,
//               34 bits 16
//     36     4  "data", 40 size = data bytes
void fill_header(uint8_t *h, uint32_t dataBytes) {
  std::memcpy(h, "RIFF", 4);
  put_le32(h + 4, 36 + dataBytes);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  put_le32(h + 16, 16);
  put_le16(h + 20, 1);
  put_le16(h + 22, 2);
  put_le32(h + 24, kRate);
  put_le32(h + 28, kRate * 4);
  put_le16(h + 32, 4);
  put_le16(h + 34, 16);
  std::memcpy(h + 36, "data", 4);
  put_le32(h + 40, dataBytes);
}

bool write_header(uint32_t dataBytes) {
  uint8_t header[kHeaderBytes];
  fill_header(header, dataBytes);
  return std::fseek(g_wav.file, 0, SEEK_SET) == 0 &&
         std::fwrite(header, 1, kHeaderBytes, g_wav.file) == kHeaderBytes;
}

// Pacing thread: converts one block and appends it.
void write_block(const float *mix, uint32_t frames) {
  if (g_wav.failed || g_wav.full) return;
  const uint32_t bytes = frames * 4;
  if (bytes > kMaxDataBytes - g_wav.dataBytes) {
    g_wav.full = true;
    return;
  }
  to_pcm16(mix, g_wav.pcm, frames * 2);
  // The file is little-endian; so are the hosts this library is built for.
  if (std::fwrite(g_wav.pcm, 1, bytes, g_wav.file) != bytes)
    g_wav.failed = true;
  else
    g_wav.dataBytes += bytes;
}

} // namespace

bool wavfile_open(const std::string &path, std::unique_ptr<FrameRing> &ring, uint32_t &rate) {
  g_wav.file = std::fopen(path.c_str(), "wb");
  if (g_wav.file == nullptr) {
    char text[512];
    std::snprintf(text, sizeof text, "cannot create WAV file %s: %s", path.c_str(),
                  std::strerror(errno));
    set_last_error(text);
    return false;
  }
  g_wav.path = path;
  g_wav.dataBytes = 0;
  g_wav.failed = false;
  g_wav.full = false;
  if (!write_header(0)) {
    set_last_error("cannot write the WAV header");
    std::fclose(g_wav.file);
    g_wav.file = nullptr;
    return false;
  }
  rate = kRate;
  ring = ring_for_period(kPacerPeriod);
  g_wav.ring = ring.get();
  g_wav.pacer = ring ? start_pacer(*ring, rate, write_block) : nullptr;
  if (g_wav.pacer == nullptr) {
    if (!ring) set_last_error("AIL_waveOutOpen: out of memory");
    std::fclose(g_wav.file);
    g_wav.file = nullptr;
    std::remove(path.c_str());
    return false;
  }
  return true;
}

void wavfile_close() {
  if (g_wav.file == nullptr) return;
  stop_pacer(g_wav.pacer);
  g_wav.pacer = nullptr;
  // The mixer has stopped: what it rendered ahead belongs in the file too.
  float rest[2 * kPacerPeriod];
  for (uint32_t got; (got = g_wav.ring->read(rest, kPacerPeriod)) > 0;) write_block(rest, got);
  if (g_wav.full)
    std::fprintf(stderr, "ksnd32: %s reached the WAV size limit\n", g_wav.path.c_str());
  const bool sized = write_header(g_wav.dataBytes);
  if (std::fclose(g_wav.file) != 0 || g_wav.failed || !sized)
    std::fprintf(stderr, "ksnd32: writing %s failed\n", g_wav.path.c_str());
  g_wav.file = nullptr;
}

} // namespace wail
