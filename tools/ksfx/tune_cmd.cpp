// `ksfx tune`: a MIDI file played through the KTUNE_ functions on the default output, or
// rendered offline into a WAV until the tune stops playing and its notes have rung out.
#include "commands.h"
#include "error.h"
#include "file_util.h"
#include "session.h"
#include "tune_tail.h"
#include "wav_writer.h"

#include <chrono>
#include <cstdio>
#include <thread>
#include <unistd.h>

namespace ksfx {
namespace {

constexpr double kLongestRender = 30 * 60.0; // seconds

void apply_settings(const TuneOptions &options) {
  if (options.repeats) KTUNE_SetRepeats(*options.repeats);
  if (options.volume) KTUNE_SetVolume(*options.volume);
  if (!KTUNE_StartTune()) throw ToolError("the tune did not start");
  if (options.tempo) KTUNE_SetTempo(*options.tempo);
}

double render_tune(const Path &output) {
  uint32_t rate = AIL_output_rate();
  WavWriter wav(output, 2, rate, AIL_output_delay());
  std::vector<float> buffer(rate / 100 * 2);
  uint32_t frames = rate / 100;
  while (KTUNE_CurrentlyPlaying() && static_cast<double>(wav.frames()) < kLongestRender * rate) {
    if (AIL_render_offline(buffer.data(), frames) != frames)
      throw ToolError("the audio library is not rendering offline");
    wav.write(buffer);
  }
  render_tail(wav);
  flush_output_delay(wav);
  double seconds = static_cast<double>(wav.frames()) / rate;
  wav.finish();
  return seconds;
}

void play_tune() {
  install_interrupt_handler();
  bool terminal = isatty(STDOUT_FILENO) == 1;
  auto start = std::chrono::steady_clock::now();
  while (!interrupted() && KTUNE_CurrentlyPlaying()) {
    SoundServe();
    if (terminal) {
      double now = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      std::printf("\r%.1f s  tempo %d%%  (Ctrl-C stops)\033[K", now, KTUNE_GetTempo());
      std::fflush(stdout);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  std::printf("%s%s\n", terminal ? "\r\033[K" : "",
              interrupted() ? "Stopped." : "The tune has ended.");
}

} // namespace

void tune_command(const TuneOptions &options) {
  if (options.output && options.repeats && *options.repeats == 0)
    throw ToolError("--repeats 0 plays forever; give a count to render to a file");
  std::vector<uint8_t> data = read_file(options.file, 16u << 20);
  Session session(options.output ? Output::Offline : Output::Device, 16);
  if (!KTUNE_InitTune(data.data(), 0))
    throw ToolError("'" + options.file.string() + "' is not a tune the audio library can play " +
                    "(a Standard MIDI File or an extended-format file)");
  apply_settings(options);
  if (options.output) {
    double seconds = render_tune(*options.output);
    if (isatty(STDERR_FILENO))
      std::fprintf(stderr, "wrote %s: %.2f s\n", options.output->string().c_str(), seconds);
  } else {
    play_tune();
  }
  KTUNE_StopTune();
}

} // namespace ksfx
