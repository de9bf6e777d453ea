// The demo's content in one place: its synthesised samples, its tune, the manifest that makes
// them a bank, and the script of the show that both the live and the rendered demo run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ksfx {

struct DemoFile {
  std::string name; // file name inside the demo's working directory
  std::vector<uint8_t> bytes;
};

// The WAV files, the tune (demo.mid) and the manifest (demo.toml).
std::vector<DemoFile> demo_files();

// The show, about half a minute, in the script language of `ksfx render`.
std::string demo_script();

} // namespace ksfx
