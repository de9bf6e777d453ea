// The SDL2 output: the system's default device, 16-bit stereo at 48000 Hz (or the rate SDL
// gives), with the buffer device_period_asked() gives. SDL's callback thread only copies
// finished frames out of the ring and converts them; a short ring plays silence and counts an
// underrun.
#include "audio/library.h"
#include "audio/outputs.h"

#include <SDL2/SDL.h>
#include <algorithm>
#include <atomic>

namespace wail {
namespace {

constexpr uint32_t kChunkFrames = 256; // the callback copies in pieces of at most this

struct SdlOutput {
  SDL_AudioDeviceID device;      // open device, 0 when closed; host thread
  std::atomic<FrameRing *> ring; // set before the device is unpaused; read by the callback
  float mix[2 * kChunkFrames];   // SDL's callback thread
};
SdlOutput g_sdl;

void SDLCALL fill_stream(void *, Uint8 *stream, int length) {
  FrameRing &ring = *g_sdl.ring.load(std::memory_order_acquire);
  auto *pcm = reinterpret_cast<int16_t *>(stream);
  uint32_t frames = static_cast<uint32_t>(length) / 4;
  bool short_of_frames = false;
  while (frames > 0) {
    const uint32_t chunk = std::min(frames, kChunkFrames);
    const uint32_t got = ring.read(g_sdl.mix, chunk);
    std::fill(g_sdl.mix + 2 * got, g_sdl.mix + 2 * chunk, 0.0f);
    short_of_frames |= got < chunk;
    to_pcm16(g_sdl.mix, pcm, chunk * 2);
    pcm += chunk * 2;
    frames -= chunk;
  }
  if (short_of_frames) count_underrun();
}

bool fail(const char *what) {
  char text[256];
  SDL_snprintf(text, sizeof text, "%s: %s", what, SDL_GetError());
  set_last_error(text);
  return false;
}

} // namespace

bool system_open(std::unique_ptr<FrameRing> &ring, uint32_t &rate) {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return fail("SDL audio start-up failed");
  SDL_AudioSpec want{};
  want.freq = 48000;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = static_cast<Uint16>(device_period_asked());
  want.callback = fill_stream;
  SDL_AudioSpec have{};
  g_sdl.device = SDL_OpenAudioDevice(
      nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_SAMPLES_CHANGE);
  if (g_sdl.device == 0) {
    fail("cannot open the default sound device");
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  // The ring is made for the buffer SDL chose, before the device starts calling back.
  ring = ring_for_period(have.samples);
  if (!ring) {
    system_close();
    set_last_error("AIL_waveOutOpen: out of memory");
    return false;
  }
  g_sdl.ring.store(ring.get(), std::memory_order_release);
  rate = static_cast<uint32_t>(have.freq);
  SDL_PauseAudioDevice(g_sdl.device, 0);
  return true;
}

void system_close() {
  if (g_sdl.device == 0) return;
  SDL_CloseAudioDevice(g_sdl.device); // waits for the callback to return
  g_sdl.device = 0;
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

} // namespace wail
