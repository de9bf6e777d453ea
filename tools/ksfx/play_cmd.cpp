// `ksfx play`: plays sounds of a bank on the default output and shows the channels until the
// sounds end or Ctrl-C; on a terminal the view is redrawn in place, elsewhere events are lines.
#include "commands.h"
#include "live_view.h"
#include "session.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <unistd.h>

namespace ksfx {
namespace {

// Starts one sound; returns what happened, for the user.
std::string start_sound(Session &session, int sound,
                        const std::optional<std::pair<int16_t, int16_t>> &at) {
  int bank = session.bank_number();
  bool was = IsSoundPlaying(bank, sound);
  int32_t result = at ? SoundPlace(bank, sound, at->first, at->second) : SoundPlay(bank, sound);
  if (!result)
    return was ? "refused: already playing" : "refused: no channel free for its priority";
  int channel = session.channel_of(sound);
  return channel < 0 ? "not started" : "playing on channel " + std::to_string(channel);
}

void print_events(const Session &session, const std::vector<ChannelState> &before,
                  const std::vector<ChannelState> &after, double now) {
  for (const ChannelEvent &e : diff_channels(before, after))
    std::printf("%7.2fs  %s %s on channel %d\n", now, session.label(e.sound).c_str(),
                event_verb(e.kind), e.channel);
  std::fflush(stdout);
}

} // namespace

void play_command(const Path &bank, const std::vector<std::string> &sounds,
                  const std::vector<Path> &vpath,
                  const std::optional<std::pair<int16_t, int16_t>> &at) {
  bool hasDevice = waveOutGetNumDevs() > 1;
  Session session(Output::Device, 16);
  session.load_bank(bank, vpath);
  std::vector<int> numbers;
  for (const std::string &name : sounds) numbers.push_back(session.sound(name, bank.string()));
  if (!hasDevice && !std::getenv("KSND_AUDIO"))
    std::printf("No sound device found: playing on the silent null output.\n");
  else
    std::printf("Playing through %s.\n", Session::output_name().c_str());

  bool looping = false;
  for (size_t i = 0; i < numbers.size(); ++i) {
    std::printf("%s: %s\n", session.label(numbers[i]).c_str(),
                start_sound(session, numbers[i], at).c_str());
    uint16_t flags = session.bank().sounds[static_cast<size_t>(numbers[i])].flags;
    looping = looping || (flags & KSFX_LOOP) || ((flags & KSFX_GROUP) && (flags & KSFX_RANDOM));
  }
  if (looping) std::printf("Looping sounds play until Ctrl-C.\n");
  std::fflush(stdout);

  install_interrupt_handler();
  bool terminal = isatty(STDOUT_FILENO) == 1;
  LiveView view;
  LabelOf label = [&session](int key) { return session.label(key); };
  auto start = std::chrono::steady_clock::now();
  std::vector<ChannelState> last(static_cast<size_t>(session.channel_count()));
  for (;;) {
    SoundServe();
    double now = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::vector<ChannelState> channels = session.channels();
    if (terminal) {
      char header[64];
      std::snprintf(header, sizeof header, "%.1f s   (Ctrl-C stops)", now);
      view.draw(header, channels, label);
    } else {
      print_events(session, last, channels, now);
    }
    last = channels;
    bool busy = std::any_of(channels.begin(), channels.end(), [](const ChannelState &c) {
      return c.current != -1 || c.suspended != -1;
    });
    if (interrupted() || !busy) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(terminal ? 100 : 10));
  }
  std::printf(interrupted() ? "Stopped.\n" : "All sounds have ended.\n");
}

} // namespace ksfx
