// The SDL2 output: the system's default device, 16-bit stereo at 48000 Hz (or the rate SDL
// gives), 256-frame buffers (about 5 ms). SDL's callback thread renders and saturates the mix.
#include "audio/library.h"
#include "audio/mixer.h"
#include "audio/outputs.h"

#include <SDL2/SDL.h>
#include <algorithm>

namespace wail {
namespace {

constexpr uint32_t kChunkFrames = 512; // the callback renders in pieces of at most this

struct SdlOutput {
  SDL_AudioDeviceID device;    // open device, 0 when closed; host thread
  float mix[2 * kChunkFrames]; // SDL's callback thread
};
SdlOutput g_sdl;

void SDLCALL fill_stream(void *, Uint8 *stream, int length) {
  auto *pcm = reinterpret_cast<int16_t *>(stream);
  uint32_t frames = static_cast<uint32_t>(length) / 4;
  while (frames > 0) {
    const uint32_t chunk = std::min(frames, kChunkFrames);
    render(g_sdl.mix, chunk);
    to_pcm16(g_sdl.mix, pcm, chunk * 2);
    pcm += chunk * 2;
    frames -= chunk;
  }
}

bool fail(const char *what) {
  char text[256];
  SDL_snprintf(text, sizeof text, "%s: %s", what, SDL_GetError());
  set_last_error(text);
  return false;
}

} // namespace

bool sdl2_open(uint32_t &rate) {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return fail("SDL audio start-up failed");
  SDL_AudioSpec want{};
  want.freq = 48000;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = 256;
  want.callback = fill_stream;
  SDL_AudioSpec have{};
  g_sdl.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
  if (g_sdl.device == 0) {
    fail("cannot open the default sound device");
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  rate = static_cast<uint32_t>(have.freq);
  set_render_rate(rate);
  SDL_PauseAudioDevice(g_sdl.device, 0);
  return true;
}

void sdl2_close() {
  if (g_sdl.device == 0) return;
  SDL_CloseAudioDevice(g_sdl.device); // waits for the callback to return
  g_sdl.device = 0;
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

} // namespace wail
