// `ksfx demo`: makes its samples, tune and bank in a temporary directory and runs the show,
// live through the sound device when there is one, else rendered offline to demo.wav with
// its timeline in demo.svg.
#include "commands.h"
#include "demo_show.h"
#include "error.h"
#include "file_util.h"
#include "manifest.h"
#include "posix_shims.h"
#include "script_runner.h"
#include "text.h"
#include "wav_writer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ksfx {
namespace {

namespace fs = std::filesystem;

// A private directory removed with everything in it when the demo is over.
class TemporaryDirectory {
public:
  TemporaryDirectory() {
    std::string pattern = (fs::temp_directory_path() / "ksfx-demo-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw ToolError("cannot make a temporary directory");
    path_ = pattern;
  }
  ~TemporaryDirectory() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path &path() const { return path_; }

private:
  fs::path path_;
};

void print_line(const RunLine &line) {
  if (line.minor) return;
  std::printf("[%6.2fs] %s\n", line.time, line.text.c_str());
  std::fflush(stdout);
}

// Offline unless a device can be heard: -o asks for a file, KSND_AUDIO=offline asks for no
// device, and without KSND_AUDIO only a device beyond the null output counts.
bool render_offline(const std::optional<Path> &output) {
  if (output) return true;
  const char *audio = std::getenv("KSND_AUDIO");
  if (audio) return std::strcmp(audio, "offline") == 0;
  return waveOutGetNumDevs() <= 1;
}

} // namespace

void demo_command(const std::optional<Path> &output, const std::optional<Path> &timeline) {
  TemporaryDirectory dir;
  for (const DemoFile &file : demo_files()) write_file(dir.path() / file.name, file.bytes);
  fs::path manifest = dir.path() / "demo.toml", bank = dir.path() / "demo.ksfx";
  Manifest sounds = load_manifest(manifest);
  compile_bank(sounds, bank, "demo.toml");
  Script script = parse_script(demo_script(), "demo");

  bool offline = render_offline(output);
  Path wavPath = output.value_or("demo.wav");
  std::optional<Path> svgPath = timeline;
  if (offline && !output) {
    svgPath = svgPath.value_or("demo.svg");
    std::printf("No sound device found: rendering the show to %s, its timeline to %s.\n",
                wavPath.string().c_str(), svgPath->string().c_str());
  }
  std::printf("KSND32 demo: a bank of %s, about 30 seconds.\n\n",
              count(sounds.sounds.size(), "synthesised sound").c_str());
  std::fflush(stdout);

  Session session(offline ? Output::Offline : Output::Device, script.channels);
  session.load_bank(bank, {});
  ScriptRunner runner(session, script, dir.path(), print_line);
  if (offline) {
    WavWriter wav(wavPath, 2, AIL_output_rate(), AIL_output_delay());
    double seconds = runner.render(wav, nullptr);
    wav.finish();
    std::printf("\nWrote %s (%.1f s).\n", wavPath.string().c_str(), seconds);
  } else {
    std::printf("Playing through %s.\n\n", Session::output_name().c_str());
    install_interrupt_handler();
    runner.run_live();
    std::printf(interrupted() ? "\nStopped.\n" : "\nThe show is over.\n");
  }
  if (svgPath) {
    write_text_file(*svgPath, runner.timeline().to_svg("KSND32 demo"));
    std::printf("Wrote the timeline %s.\n", svgPath->string().c_str());
  }
}

} // namespace ksfx
