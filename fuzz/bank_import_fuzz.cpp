// libFuzzer harness over the bank importer: each input is written to a file and imported. An
// accepted bank has every sound played, copied and stopped through the fake, then is discarded;
// a block still allocated afterwards is a leak and aborts the run.
// Every sample name that the seed corpus uses lies in the virtual path.
#include "engine/channels.h"
#include "fuzz/wav_image.h"
#include "ksnd32.h"
#include "platform/memory.h"
#include "platform/message_box.h"
#include "support/fake_wail.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kChannels = 4;
constexpr int32_t kDuplicates = 16;
constexpr uint32_t kMostSoundsPlayed = 64;

struct FuzzState {
  std::string dir;  // temporary directory holding the samples and the input bank
  std::string bank; // where each input is written
  ~FuzzState() {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
};

int32_t give_up(const char *) { return 0; }
int32_t dismiss(const char *, const char *, uint32_t) { return 1; }

void put(const std::string &path, const std::vector<uint8_t> &bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char *>(bytes.data()), (std::streamsize)bytes.size());
}

using fuzzing::wav;

FuzzState prepare() {
  std::string pattern = (std::filesystem::temp_directory_path() / "ksnd_fuzz_XXXXXX").string();
  if (!mkdtemp(pattern.data())) std::abort();
  put(pattern + "/s8.wav", wav(1, 8, 11025, 64));
  for (const char *name : {"a.wav", "ab.w", "a", "b", "c"})
    put(pattern + "/" + name, wav(1, 8, 8000, 9));
  put(pattern + "/s16.wav", wav(2, 16, 22050, 64));
  SetVirtualFilePath((pattern + "/").c_str());
  SetVirtualFilePathCallBack(give_up);
  platform::set_message_box_hook(dismiss);
  if (!KSOUNDInit(kChannels, kDuplicates)) std::abort();
  return FuzzState{pattern, pattern + "/input.kfx"};
}

// Stops whatever still plays, resumed sounds included, and frees every copy, so nothing refers
// to the bank once it is discarded.
void silence() {
  for (uint32_t i = 0; i < kChannels; ++i) {
    Channel *channel = KSFX_GetChannel(i);
    for (int guard = 0; guard < 8 && channel->current != &engine::g_idleRecord; ++guard)
      KSFX_StopSFX(channel->current);
  }
  for (int32_t slot = 0; slot < kDuplicates; ++slot) SoundDupKill(0, -2 - slot);
}

void exercise(int32_t bank) {
  uint32_t count = SoundDbgInfo(bank)->soundCount;
  for (uint32_t k = 0; k < count && k < kMostSoundsPlayed; ++k) {
    int32_t sound = (int32_t)k;
    IsSoundLoop(bank, sound);
    SoundPlay(bank, sound);
    int32_t copy = SoundDup(bank, sound);
    if (copy <= -2) SoundPlace(bank, copy, 100, -40);
    SoundUpdate(bank, sound, -1, 90, -1);
  }
  silence();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static FuzzState state = prepare();
  put(state.bank, std::vector<uint8_t>(data, data + size));
  long blocks = platform::live_blocks();
  int32_t bank = ImportSFXpackage(state.bank.c_str());
  if (bank >= 0) {
    exercise(bank);
    DiscardPackageSampleBits(bank);
    DiscardSFXpackage(bank);
  }
  if (platform::live_blocks() != blocks) std::abort();
  fake::clear_calls();
  return 0;
}
