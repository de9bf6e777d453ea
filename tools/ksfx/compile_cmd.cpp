// `ksfx compile`: the manifest's WAV files are read with KSFX_FileRead, checked to be PCM, set
// up with KSFX_SetupWAVsample, and written with the records as a bank by CompileSFXpackage.
#include "commands.h"
#include "error.h"
#include "manifest.h"
#include "progress.h"
#include "text.h"
#include "wav_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ksnd32.h>
#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN // kernel32's GlobalFree; the wave records are the audio header's
#include <windows.h>
#endif

namespace ksfx {
namespace {

namespace fs = std::filesystem;

// The WAV blocks from KSFX_FileRead, released when compiling is over.
struct Blocks {
  std::vector<void *> blocks;
  ~Blocks() {
    for (void *block : blocks) GlobalFree(block);
  }
};

// Reads and checks one sample into `record`; returns the problem, or "" when it is usable.
std::string load_sample(const ManifestSample &sample, const std::string &source,
                        SampleRecord &record, Blocks &blocks) {
  std::string where =
      source + ":" + std::to_string(sample.line) + ": sample '" + sample.name + "': ";
  std::error_code ec;
  uintmax_t size = fs::file_size(sample.path, ec);
  if (ec) return where + "cannot read '" + sample.path.string() + "': " + ec.message();
  void *block = KSFX_FileRead(sample.path.string().c_str(), nullptr);
  if (!block) return where + "cannot read '" + sample.path.string() + "'";
  blocks.blocks.push_back(block);
  try {
    check_pcm_wav(Bytes(static_cast<const uint8_t *>(block), static_cast<size_t>(size)));
  } catch (const ToolError &e) {
    return where + "'" + sample.path.string() + "': " + e.what();
  }
  if (!KSFX_SetupWAVsample(&record, block))
    return where + "'" + sample.path.string() + "' was refused by KSFX_SetupWAVsample";
  return "";
}

SoundRecord make_record(const ManifestSound &sound, int number,
                        std::vector<SampleRecord> &samples) {
  SoundRecord r{};
  r.id = number;
  r.priority = sound.priority;
  r.flags =
      static_cast<uint16_t>((sound.resume ? KSFX_RESUME : 0) | (sound.loop ? KSFX_LOOP : 0) |
                            (sound.group ? KSFX_GROUP : 0) | (sound.random ? KSFX_RANDOM : 0));
  r.rate = sound.rate;
  r.volume = sound.volume;
  r.pan = sound.pan;
  r.baseVolume = static_cast<uint32_t>(sound.volume);
  r.sample = &samples[static_cast<size_t>(sound.sample)];
  r.sampleIndex = static_cast<uint32_t>(sound.sample);
  return r;
}

} // namespace

void compile_bank(const Manifest &manifest, const Path &output, const std::string &source) {
  Blocks blocks;
  std::vector<SampleRecord> samples(manifest.samples.size());
  std::string problems;
  Progress progress("Compiling", static_cast<double>(manifest.samples.size()));
  for (size_t i = 0; i < samples.size(); ++i) {
    std::string problem = load_sample(manifest.samples[i], source, samples[i], blocks);
    if (!problem.empty()) join_to(problems, "\n", problem);
    progress.update(static_cast<double>(i + 1));
  }
  if (!problems.empty()) throw ToolError(problems);

  size_t n = manifest.sounds.size();
  std::vector<SoundRecord> records(n);
  std::vector<std::vector<SoundRecord *>> lists(n);
  std::vector<const char *> soundNames, sampleNames;
  for (size_t k = 0; k < n; ++k) {
    const ManifestSound &sound = manifest.sounds[k];
    records[k] = make_record(sound, static_cast<int>(k), samples);
    soundNames.push_back(sound.name.c_str());
    if (!sound.group) continue;
    for (int e : sound.elements) lists[k].push_back(&records[static_cast<size_t>(e)]);
    lists[k].push_back(nullptr);
    records[k].list = lists[k].data();
    records[k].listCount = static_cast<uint32_t>(sound.elements.size());
  }
  for (const ManifestSample &sample : manifest.samples) sampleNames.push_back(sample.file.c_str());

  Path temporary = output;
  temporary += ".part";
  errno = 0;
  bool written = CompileSFXpackage(temporary.string().c_str(), records.data(), soundNames.data(),
                                   static_cast<uint16_t>(n), samples.data(), sampleNames.data(),
                                   static_cast<uint16_t>(samples.size()));
  std::string reason = errno != 0 ? std::string(": ") + std::strerror(errno) : "";
  std::error_code ec;
  if (written) fs::rename(temporary, output, ec);
  if (written && ec) reason = ": " + ec.message();
  if (!written || ec) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    throw ToolError("cannot write the bank '" + output.string() + "'" + reason);
  }
}

void compile_command(const Path &manifestPath, const Path &output) {
  std::error_code ec;
  if (fs::equivalent(manifestPath, output, ec))
    throw ToolError("'" + output.string() + "' is the manifest itself: give the bank another name");
  Manifest manifest = load_manifest(manifestPath);
  compile_bank(manifest, output, manifestPath.string());
  std::printf("wrote %s: %s, %s\n", output.string().c_str(),
              count(manifest.sounds.size(), "sound").c_str(),
              count(manifest.samples.size(), "sample").c_str());
}

} // namespace ksfx
