// The outputs this library can open, as the wave devices the host enumerates: chosen by
// KSND_AUDIO, else a null output (device 0) and the system's default output (device 1: SDL2
// on Linux, waveOut on Windows) when one can be opened.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wail {

enum class OutputKind { Null, System, WavFile, Offline };

struct OutputDevice {
  OutputKind kind;
  std::string path;   // WavFile: the file the mix is written to
  bool noSoundDevice; // Null in the default list because the system has no output
};

// The device list for the current KSND_AUDIO, in device-number order. The system's output is
// probed once per process, the first time the default list or its own choice needs it.
std::vector<OutputDevice> list_devices();

// The system's default output (probe_sdl2.cpp, probe_waveout.cpp): the KSND_AUDIO value that
// chooses it alone, whether it can open (asked once per process, any thread), and its name in
// the device list once that answered true.
extern const char *const kSystemOutputChoice;
bool system_output_available();
const char *system_output_name();

} // namespace wail
