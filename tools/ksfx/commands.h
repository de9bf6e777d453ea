// The ksfx commands, one file each, called by main once the command line is parsed. Each
// throws ToolError for the user to read; a normal return means success.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ksfx {

using Path = std::filesystem::path;

// Builds a bank from a manifest; nothing is written when anything is wrong.
void compile_command(const Path &manifest, const Path &output);
void info_command(const Path &bank, bool json);
void play_command(const Path &bank, const std::vector<std::string> &sounds,
                  const std::vector<Path> &vpath,
                  const std::optional<std::pair<int16_t, int16_t>> &at);

struct RenderOptions {
  Path bank, script, output;
  std::optional<Path> timeline;
  std::vector<Path> vpath;
  bool verbose = false;
  bool strict = false; // warnings fail the command
};
void render_command(const RenderOptions &options);

struct TuneOptions {
  Path file;
  std::optional<int32_t> tempo, repeats, volume;
  std::optional<Path> output;
};
void tune_command(const TuneOptions &options);

void demo_command(const std::optional<Path> &output, const std::optional<Path> &timeline);

// Shared by compile and demo: checks the WAV files and writes the bank. Messages name
// `source`, the manifest, and the line of each sample.
struct Manifest;
void compile_bank(const Manifest &manifest, const Path &output, const std::string &source);

// Set by Ctrl-C once install_interrupt_handler has run.
bool interrupted();
void install_interrupt_handler();

} // namespace ksfx
