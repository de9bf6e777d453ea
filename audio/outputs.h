// The output backends, one file each, each a plain open/close pair. An open starts rendering
// (or, offline, allows it) at the rate it returns; after its close returns, render() is no
// longer called by it. A failed open sets the last error and returns false.
#pragma once

#include <cstdint>
#include <string>

namespace wail {

// The system's default output through SDL2, 16-bit stereo, ~5 ms buffers.
bool sdl2_open(uint32_t &rate);
void sdl2_close();

// Renders in real time and discards the mix. `noSoundDevice` prints the one-line notice that
// the library plays silently because no sound device was found.
bool null_open(uint32_t &rate, bool noSoundDevice);
void null_close();

// Renders in real time and writes the mix to `path` as a 16-bit stereo WAV; the header gets its
// sizes at close.
bool wavfile_open(const std::string &path, uint32_t &rate);
void wavfile_close();

// Nothing renders until the host calls AIL_render_offline.
bool offline_open(uint32_t &rate);
void offline_close();

} // namespace wail
