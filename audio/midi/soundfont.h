// The SoundFont FluidSynth plays.
#pragma once

#include <string>

namespace wail::midi {

// KSND_SOUNDFONT, else FluidSynth's configured default, else the usual Debian locations; empty
// when none exists (one line on standard error, once). Also routes FluidSynth's log: errors
// become one line of ours, everything else goes nowhere.
std::string find_soundfont();

} // namespace wail::midi
