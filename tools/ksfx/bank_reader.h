// Reading a sound-bank file (RIFF form "KSFX") for inspection, without the library's engine: the
// library's own bank checker decides whether the importer would take it and says why not, so
// the tool and the library never disagree about a damaged bank.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ksfx {

struct BankSample {
  std::string file; // the name stored in the bank, resolved through the virtual path on import
  uint32_t length = 0, rate = 0; // as stored by the compiler; the importer refills them
  int32_t volume = 0, pan = 0;
  uint16_t flags = 0, format = 0;
};

struct BankSound {
  std::string name; // empty when the bank has no names
  int32_t id = 0;
  uint32_t priority = 0, status = 0;
  uint16_t flags = 0;
  int32_t rate = -1, volume = -1, pan = -1;
  uint32_t sampleIndex = 0, listCount = 0;
  bool hasList = false;
  std::vector<uint32_t> elements; // 0-based sound numbers of the list entries
};

struct BankInfo {
  std::vector<BankSample> samples;
  std::vector<BankSound> sounds;
  bool hasNames = false;
  size_t fileSize = 0;
};

// Reads a bank image the checker accepts. Throws ToolError with the checker's reason otherwise.
BankInfo read_bank(std::span<const uint8_t> data);
// Reads the file and parses it; messages name the file.
BankInfo load_bank(const std::filesystem::path &path);

// The sound number for a name or a decimal number; -1 when the bank has no such sound.
int find_sound(const BankInfo &bank, std::string_view nameOrNumber);

// The names of the flags set: "resume", "loop", "group", "random", "3d", then any other bits as
// one hexadecimal value ("0x0100").
std::vector<std::string> flag_list(uint16_t flags);
// The same joined with commas; "-" for none.
std::string flag_names(uint16_t flags);

} // namespace ksfx
