// The library session: start-up and shutdown, bank import with sample files checked first, and
// the channel table read back through KSFX_GetChannel with records named by their keys.
#include "session.h"

#include "error.h"
#include "file_util.h"
#include "posix_shims.h"
#include "text.h"
#include "wav_file.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

// The KSND_AUDIO value that chooses the system's own output.
#if defined(_WIN32)
#define KSFX_SYSTEM_OUTPUT "waveout"
#else
#define KSFX_SYSTEM_OUTPUT "sdl"
#endif

namespace ksfx {
namespace {

namespace fs = std::filesystem;

// Where the virtual-path callback looks for samples, and what it tried for the name being
// resolved; one session runs per process.
struct SampleSearch {
  std::vector<fs::path> folders;
  std::vector<std::string> tried;
};
SampleSearch g_search;

std::string as_directory(const fs::path &dir) {
  std::string text = dir.empty() ? std::string(".") : dir.string();
  return text.back() == '/' ? text : text + "/";
}

// Each folder in turn, with the name as the bank stores it (when relative) and with its file
// name alone. Names written on Windows use backslashes.
std::vector<fs::path> sample_candidates(const std::string &name) {
  std::string portable = name;
  std::replace(portable.begin(), portable.end(), '\\', '/');
  fs::path written(portable), base = written.filename();
  std::vector<fs::path> out;
  auto add = [&out](const fs::path &p) {
    if (std::find(out.begin(), out.end(), p) == out.end()) out.push_back(p);
  };
  for (const fs::path &folder : g_search.folders) {
    if (written.is_relative() && written != base) add(folder / written);
    add(folder / base);
  }
  return out;
}

// The library calls this when a sample is neither where the bank says nor in the virtual
// path: on a hit the virtual path points at the file's folder and the library looks again.
int32_t find_sample(const char *name) {
  std::error_code ec;
  for (const fs::path &candidate : sample_candidates(name)) {
    g_search.tried.push_back(candidate.string());
    if (!fs::is_regular_file(candidate, ec)) continue;
    SetVirtualFilePath(as_directory(candidate.parent_path()).c_str());
    return 1;
  }
  return 0;
}

int32_t resolved_volume(const SoundRecord *r) {
  if (r->volume != -1 || !r->sample) return r->volume;
  return r->sample->volume;
}

int32_t resolved_pan(const SoundRecord *r) {
  if (r->pan != -1 || !r->sample) return r->pan;
  return r->sample->pan;
}

} // namespace

Session::Session(Output output, int channels) : channels_(channels) {
  if (output == Output::Offline) setenv("KSND_AUDIO", "offline", 1);
  if (!KSOUNDInit(static_cast<uint32_t>(channels), 32))
    throw ToolError("the sound library did not start: no audio output or MIDI synthesiser could "
                    "be opened (KSND_AUDIO chooses the output: " KSFX_SYSTEM_OUTPUT
                    ", null, wav:FILE, offline)");
}

Session::~Session() {
  stop_everything();
  if (bank_ >= 0) {
    DiscardPackageSampleBits(bank_);
    DiscardSFXpackage(bank_);
  }
  KSOUNDClose();
}

void Session::stop_everything() {
  KTUNE_StopTune();
  const SoundRecord *idle = SoundDbgInfo(std::max(bank_, 0))->idleRecord;
  for (int c = 0; c < channels_; ++c) {
    Channel *channel = KSFX_GetChannel(static_cast<uint32_t>(c));
    // Stopping a sound resumes the one suspended behind it, which is then stopped in turn.
    for (int tries = 0; channel && channel->current != idle && tries < 4; ++tries)
      KSFX_StopSFX(channel->current);
  }
}

void Session::load_bank(const fs::path &bank, const std::vector<fs::path> &vpath,
                        const std::vector<fs::path> &more) {
  info_ = ksfx::load_bank(bank);
  g_search.folders = vpath;
  g_search.folders.push_back(bank.parent_path());
  g_search.folders.insert(g_search.folders.end(), more.begin(), more.end());
  SetVirtualFilePathCallBack(find_sample);
  SetVirtualFilePath(as_directory(g_search.folders.front()).c_str());
  check_samples();
  bank_ = ImportSFXpackage(bank.string().c_str());
  if (bank_ < 0) throw ToolError("the library could not import '" + bank.string() + "'");
  for (size_t k = 0; k < info_.sounds.size(); ++k) {
    int key = static_cast<int>(k);
    keys_[SoundPtr(bank_, key)] = key;
    labels_[key] = info_.sounds[k].name.empty() ? "#" + std::to_string(k) : info_.sounds[k].name;
  }
  nextKey_ = static_cast<int>(info_.sounds.size());
}

void Session::check_samples() const {
  std::string problems;
  for (const BankSample &sample : info_.samples) {
    char resolved[260] = {};
    std::string problem;
    g_search.tried = {sample.file};
    if (!VirtualizeFilePath(sample.file.c_str(), resolved)) {
      std::string tried;
      for (const std::string &path : g_search.tried) join_to(tried, ", ", path);
      problem =
          "sample file '" + sample.file + "' not found; tried " + tried + " (give --vpath DIR)";
    } else {
      try {
        check_pcm_wav(read_file(resolved));
      } catch (const ToolError &e) {
        problem = "sample file '" + std::string(resolved) + "': " + e.what();
      }
    }
    if (!problem.empty()) join_to(problems, "\n", problem);
  }
  if (!problems.empty()) throw ToolError(problems);
}

int Session::sound(const std::string &nameOrNumber, const std::string &where) const {
  int k = find_sound(info_, nameOrNumber);
  if (k < 0) throw ToolError(where + ": the bank has no sound '" + nameOrNumber + "'");
  return k;
}

std::string Session::label(int key) const {
  auto it = labels_.find(key);
  return it == labels_.end() ? "?" : it->second;
}

int Session::register_duplicate(int dup, int source) {
  int key = nextKey_++;
  keys_[SoundPtr(bank_, dup)] = key;
  labels_[key] = label(source) + " (copy)";
  return key;
}

int Session::key_of(const SoundRecord *record) const {
  auto it = keys_.find(record);
  if (it != keys_.end()) return it->second;
  int key = nextKey_++;
  keys_[record] = key;
  labels_[key] = "?";
  return key;
}

std::vector<ChannelState> Session::channels() const {
  const SoundRecord *idle = SoundDbgInfo(std::max(bank_, 0))->idleRecord;
  std::vector<ChannelState> out;
  for (int c = 0; c < channels_; ++c) {
    const Channel *channel = KSFX_GetChannel(static_cast<uint32_t>(c));
    if (!channel) break;
    ChannelState state;
    if (channel->current && channel->current != idle) {
      state.current = key_of(channel->current);
      state.volume = resolved_volume(channel->current);
      state.pan = resolved_pan(channel->current);
    }
    if (channel->suspended) state.suspended = key_of(channel->suspended);
    out.push_back(state);
  }
  return out;
}

int Session::channel_of(int soundNumber) const {
  const SoundRecord *record = SoundPtr(bank_, soundNumber);
  for (int c = 0; c < channels_; ++c) {
    const Channel *channel = KSFX_GetChannel(static_cast<uint32_t>(c));
    if (channel && channel->current == record) return c;
  }
  return -1;
}

std::string Session::output_name() {
  WAVEOUTCAPSA caps{};
  uint32_t count = waveOutGetNumDevs();
  if (count == 0 || waveOutGetDevCapsA(count - 1, &caps, sizeof caps) != 0) return "?";
  return std::string(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
}

bool Session::busy() const {
  if (KTUNE_CurrentlyPlaying()) return true;
  for (const ChannelState &state : channels())
    if (state.current != -1 || state.suspended != -1) return true;
  return false;
}

} // namespace ksfx
