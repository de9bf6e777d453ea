// The output backends, one file each, each a plain open/close pair chosen by the driver's
// switch. A real-time output's open makes the frame ring it plays from and starts pulling
// from it; after its close returns, nothing reads the ring. The offline output has no ring:
// the host renders. A failed open sets the last error and returns false.
#pragma once

#include "audio/ring.h"

#include <cstdint>
#include <memory>
#include <string>

namespace wail {

// The system's default output, 16-bit stereo, 1024-frame buffers (21 ms) unless KSND_BUFFER
// says otherwise: SDL2's on Linux (output_sdl2.cpp), winmm's waveOut on Windows
// (output_waveout.cpp).
bool system_open(std::unique_ptr<FrameRing> &ring, uint32_t &rate);
void system_close();

// The device buffer the system output asks for: KSND_BUFFER frames (64-8192), else 1024.
uint32_t device_period_asked();

// Pulls the mix in real time and discards it. `noSoundDevice` prints the one-line notice that
// the library plays silently because no sound device was found.
bool null_open(std::unique_ptr<FrameRing> &ring, uint32_t &rate, bool noSoundDevice);
void null_close();

// Pulls the mix in real time and writes it to `path` as a 16-bit stereo WAV; the header gets
// its sizes at close.
bool wavfile_open(const std::string &path, std::unique_ptr<FrameRing> &ring, uint32_t &rate);
void wavfile_close();

// Nothing renders until the host calls AIL_render_offline.
bool offline_open(uint32_t &rate);
void offline_close();

// Converts the float output to 16-bit signed samples, saturating at full scale.
void to_pcm16(const float *mix, int16_t *pcm, uint32_t samples) noexcept;

} // namespace wail
