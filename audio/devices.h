// The outputs this library can open, as the wave devices the host enumerates: chosen by
// KSND_AUDIO, else a null output (device 0) and the system's default output through SDL2
// (device 1) when one can be opened.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wail {

enum class OutputKind { Null, Sdl, WavFile, Offline };

struct OutputDevice {
  OutputKind kind;
  std::string path;   // WavFile: the file the mix is written to
  bool noSoundDevice; // Null in the default list because SDL2 found no device
};

// The device list for the current KSND_AUDIO, in device-number order. SDL2 is probed once per
// process, the first time the default list or `sdl` needs it.
std::vector<OutputDevice> list_devices();

} // namespace wail
