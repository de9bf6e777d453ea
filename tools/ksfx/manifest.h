// The bank manifest: a TOML file naming the samples (WAV files, relative to the manifest) and
// the sounds of a bank. Parsing checks names, references and ranges and reports every problem
// with its line; it reads no WAV file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace ksfx {

struct ManifestSample {
  std::string name;
  std::string file;           // as written: stored in the bank as the sample's file name
  std::filesystem::path path; // `file` resolved against the manifest's directory
  int line = 0;
};

struct ManifestSound {
  std::string name;
  int line = 0;
  uint32_t priority = 0;
  bool resume = false, loop = false, random = false, group = false;
  int32_t rate = -1, volume = -1, pan = -1; // -1 = the sample's own
  int sample = -1;                          // index into samples; a group's first element's
  std::vector<int> elements;                // group elements, indexes into sounds
};

struct Manifest {
  std::vector<ManifestSample> samples; // in file order
  std::vector<ManifestSound> sounds;   // in file order: sound number k is sounds[k]
};

// Parses manifest text. `source` names it in messages ("FILE:LINE: ..."); relative sample
// files are resolved against `dir`. Throws ToolError listing every problem found.
Manifest parse_manifest(std::string_view text, const std::string &source,
                        const std::filesystem::path &dir);

// Reads and parses the manifest file at `path`.
Manifest load_manifest(const std::filesystem::path &path);

} // namespace ksfx
