// ksfx: builds, inspects, plays and renders KSND32 sound banks, and runs the demo. This file
// only reads the command line; each command lives in a file of its own.
#include "commands.h"
#include "text.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <cstdio>
#include <functional>
#include <sstream>

namespace {

using namespace ksfx;

std::optional<std::pair<int16_t, int16_t>> parse_position(const std::string &text) {
  size_t comma = text.find(',');
  if (comma == std::string::npos) return std::nullopt;
  int x = 0, y = 0;
  const char *begin = text.data(), *middle = begin + comma, *end = begin + text.size();
  auto rx = std::from_chars(begin, middle, x);
  auto ry = std::from_chars(middle + 1, end, y);
  if (rx.ec != std::errc() || rx.ptr != middle || ry.ec != std::errc() || ry.ptr != end ||
      x < -32768 || x > 32767 || y < -32768 || y > 32767)
    return std::nullopt;
  return std::pair<int16_t, int16_t>(static_cast<int16_t>(x), static_cast<int16_t>(y));
}

void print_error(const std::string &message) {
  std::istringstream lines(message);
  for (std::string line; std::getline(lines, line);)
    std::fprintf(stderr, "ksfx: %s\n", line.c_str());
}

// A first word that names no command is reported as such, not as an unexpected argument.
bool is_unknown_command(const CLI::App &app, const char *word) {
  if (word[0] == '-') return false;
  for (const CLI::App *command : app.get_subcommands({}))
    if (command->get_name() == word) return false;
  return true;
}

std::string command_names(const CLI::App &app) {
  std::string names;
  for (const CLI::App *command : app.get_subcommands({})) join_to(names, ", ", command->get_name());
  return names;
}

} // namespace

int main(int argc, char **argv) {
  CLI::App app{"ksfx: build, inspect, play and render KSND32 sound banks"};
  app.require_subcommand(1);
  app.set_version_flag("--version", "ksfx " KSFX_VERSION);
  std::function<void()> action;

  Path manifest, output;
  auto *compile = app.add_subcommand("compile", "Compile a TOML manifest into a sound bank");
  compile->add_option("MANIFEST", manifest, "The manifest")->required()->check(CLI::ExistingFile);
  compile->add_option("-o,--output", output, "The bank to write")->required();
  compile->callback([&] { action = [&] { compile_command(manifest, output); }; });

  Path bank;
  bool json = false;
  auto *info = app.add_subcommand("info", "Show a bank's sounds and samples");
  info->add_option("BANK", bank, "The bank")->required();
  info->add_flag("--json", json, "Print JSON");
  info->callback([&] { action = [&] { info_command(bank, json); }; });

  std::vector<std::string> sounds;
  std::vector<Path> vpath;
  std::string at;
  auto *play = app.add_subcommand("play", "Play sounds of a bank and watch the channels");
  play->add_option("BANK", bank, "The bank")->required()->check(CLI::ExistingFile);
  play->add_option("SOUND", sounds, "Sounds by name or number")->required();
  play->add_option("--vpath", vpath, "A folder to look for the bank's WAV files in (repeatable)")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  play->add_option("--at", at, "Place the sounds at X,Y around the listener at 0,0");
  play->callback([&] {
    std::optional<std::pair<int16_t, int16_t>> position;
    if (!at.empty() && !(position = parse_position(at)))
      throw CLI::ValidationError("--at", "expects X,Y, two integers from -32768 to 32767");
    action = [&, position] { play_command(bank, sounds, vpath, position); };
  });

  RenderOptions render;
  auto *renderCmd = app.add_subcommand("render", "Render a timed script offline to a WAV file");
  renderCmd->add_option("BANK", render.bank, "The bank")->required()->check(CLI::ExistingFile);
  renderCmd->add_option("--script", render.script, "The script")
      ->required()
      ->check(CLI::ExistingFile);
  renderCmd->add_option("-o,--output", render.output, "The WAV file to write")->required();
  renderCmd->add_option("--timeline", render.timeline, "Also draw the channels as SVG");
  renderCmd
      ->add_option("--vpath", render.vpath,
                   "A folder to look for the bank's WAV files in (repeatable)")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  renderCmd->add_flag("-v,--verbose", render.verbose, "Print every command and channel event");
  renderCmd->add_flag("--strict", render.strict, "Fail (exit 1) on any warning");
  renderCmd->callback([&] { action = [&] { render_command(render); }; });

  TuneOptions tune;
  auto *tuneCmd = app.add_subcommand("tune", "Play or render a MIDI file");
  tuneCmd->add_option("FILE", tune.file, "Standard MIDI File")
      ->required()
      ->check(CLI::ExistingFile);
  tuneCmd->add_option("--tempo", tune.tempo, "Tempo in percent of the tune's own")
      ->check(CLI::Range(1, 1000));
  tuneCmd->add_option("--repeats", tune.repeats, "Times to play; 0 forever")
      ->check(CLI::Range(0, 1000));
  tuneCmd->add_option("--volume", tune.volume, "Volume 0-127")->check(CLI::Range(0, 127));
  tuneCmd->add_option("-o,--output", tune.output, "Render to this WAV file instead");
  tuneCmd->callback([&] { action = [&] { tune_command(tune); }; });

  std::optional<Path> demoOutput, demoTimeline;
  auto *demo = app.add_subcommand("demo", "Hear what KSND32 does: a half-minute show");
  demo->add_option("-o,--output", demoOutput, "Render the show to this WAV file");
  demo->add_option("--timeline", demoTimeline, "Draw the channels as SVG");
  demo->callback([&] { action = [&] { demo_command(demoOutput, demoTimeline); }; });

  if (argc > 1 && is_unknown_command(app, argv[1])) {
    std::fprintf(stderr, "ksfx: unknown command '%s'; the commands are %s (ksfx --help)\n", argv[1],
                 command_names(app).c_str());
    return 2;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError &e) {
    return app.exit(e) == 0 ? 0 : 2; // --help is a success; every usage error exits with 2
  }
  try {
    action();
  } catch (const std::exception &e) {
    print_error(e.what());
    return 1;
  }
  return 0;
}
