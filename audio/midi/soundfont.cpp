// Finding the SoundFont the synthesiser plays, and keeping FluidSynth's log quiet: only its
// errors reach standard error, one line each.
#include "audio/midi/soundfont.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fluidsynth.h>
#include <memory>
#include <sys/stat.h>

namespace wail::midi {
namespace {

// What the search remembers across driver opens.
struct SoundFontSearch {
  std::atomic<bool> told_missing; // the "no SoundFont" line was printed; any host thread
};
SoundFontSearch g_search{};

const char *const kStandardSoundFonts[] = {
    "/usr/share/sounds/sf2/TimGM6mb.sf2",
    "/usr/share/sounds/sf2/FluidR3_GM.sf2",
    "/usr/share/soundfonts/default.sf2",
};

bool is_file(const char *path) {
  struct stat info;
  return path && *path && stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

void log_error(int level, const char *message, void *) {
  std::fprintf(stderr, "wail32: FluidSynth %s: %s\n", level == FLUID_PANIC ? "panic" : "error",
               message);
}

void route_fluid_log() {
  fluid_set_log_function(FLUID_PANIC, log_error, nullptr);
  fluid_set_log_function(FLUID_ERR, log_error, nullptr);
  fluid_set_log_function(FLUID_WARN, nullptr, nullptr);
  fluid_set_log_function(FLUID_INFO, nullptr, nullptr);
  fluid_set_log_function(FLUID_DBG, nullptr, nullptr);
}

// FluidSynth's own default SoundFont, when it is a file; FluidSynth's blocks are released
// whatever happens, running out of memory included.
std::string configured_default() {
  std::unique_ptr<fluid_settings_t, void (*)(fluid_settings_t *)> settings(new_fluid_settings(),
                                                                           delete_fluid_settings);
  if (!settings) return {};
  char *value = nullptr;
  if (fluid_settings_dupstr(settings.get(), "synth.default-soundfont", &value) != FLUID_OK)
    return {};
  std::unique_ptr<char, void (*)(void *)> owned(value, fluid_free);
  return value && is_file(value) ? std::string(value) : std::string();
}

} // namespace

std::string find_soundfont() {
  route_fluid_log();
  const char *chosen = std::getenv("KSND_SOUNDFONT");
  if (is_file(chosen)) return chosen;
  std::string fallback = configured_default();
  if (!fallback.empty()) return fallback;
  for (const char *path : kStandardSoundFonts)
    if (is_file(path)) return path;
  if (!g_search.told_missing.exchange(true))
    std::fprintf(stderr, "wail32: no SoundFont found (set KSND_SOUNDFONT); music plays silently\n");
  return {};
}

} // namespace wail::midi
