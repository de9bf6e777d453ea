// The render path and the master volume. Owns the fade-tail pool and the master stage of the
// open driver, both allocated when it opens, and the master volume setting, which outlives it.
// Every function runs under the library lock.
#include "audio/render.h"

#include "audio/counters.h"
#include "audio/library.h"
#include "audio/master.h"
#include "audio/midi/music_hook.h"
#include "audio/mixer.h"
#include "audio/tails.h"

#include <algorithm>

namespace wail {
namespace {

// Fade tails that can sound at once: a stop of every voice and of every voice that took its
// place within one fade. Beyond that the tail nearest its end is taken over.
constexpr uint32_t kTails = 2 * kMaxVoices;

struct RenderState {
  TailPool *tails; // null while no driver is open
  Master *master;
  uint32_t rate;
  bool rendering;       // a render is under way (a callback inside it may not render)
  int32_t masterVolume; // 0-127, kept across drivers
};
RenderState g_render = {nullptr, nullptr, 0, false, 127};

float master_gain() { return static_cast<float>(g_render.masterVolume) / 127.0f; }

// Delivers each end whose voice is still at that start and still playing as the host sees it:
// the status becomes SMP_DONE, then the callback runs. Stops if a callback closes the driver.
void deliver(const BlockEnds &ends) {
  for (uint32_t i = 0; i < ends.count && g_render.master != nullptr; ++i) {
    wail_sample &voice = voice_at(ends.ends[i].voice);
    if (!voice.allocated || voice.generation != ends.ends[i].generation) continue;
    if (voice.status != SMP_PLAYING) continue;
    count(g_counters.delivered);
    voice.status = SMP_DONE;
    if (voice.callback != nullptr) voice.callback(&voice);
  }
}

// One block of at most kRenderBlock frames, ending where the first voice runs out (at least
// one frame, so a callback that restarts a voice at its end cannot stall the render).
uint32_t render_block(float *out, uint32_t limit) {
  const uint32_t frames = std::max(frames_until_first_end(std::min(limit, kRenderBlock)), 1u);
  std::fill(out, out + 2 * size_t{frames}, 0.0f);
  BlockEnds ends;
  mix_voices(out, frames, ends);
  mix_tails(*g_render.tails, out, frames);
  music::render(out, frames, g_render.rate);
  master_process(*g_render.master, out, frames);
  deliver(ends);
  return frames;
}

} // namespace

bool open_render(uint32_t rate) {
  close_render();
  g_render.tails = create_tail_pool(kTails);
  g_render.master = create_master(rate, master_gain());
  if (g_render.tails == nullptr || g_render.master == nullptr) {
    close_render();
    set_last_error("AIL_waveOutOpen: out of memory");
    return false;
  }
  g_render.rate = rate;
  return true;
}

void close_render() {
  destroy_tail_pool(g_render.tails);
  destroy_master(g_render.master);
  g_render.tails = nullptr;
  g_render.master = nullptr;
  g_render.rate = 0;
}

uint32_t render_frames(float *out, uint32_t frames) {
  uint32_t done = 0;
  if (!g_render.rendering) {
    g_render.rendering = true;
    while (done < frames && g_render.master != nullptr)
      done += render_block(out + 2 * size_t{done}, frames - done);
    g_render.rendering = false;
  }
  std::fill(out + 2 * size_t{done}, out + 2 * size_t{frames}, 0.0f);
  return done;
}

void fade_out(const MixState &voice) noexcept {
  if (g_render.tails != nullptr) start_tail(*g_render.tails, voice);
}

} // namespace wail

extern "C" {

WAIL_API void AIL_set_master_volume(int32_t volume) {
  wail::LibraryGuard lock(wail::library_mutex());
  wail::g_render.masterVolume = std::clamp(volume, 0, 127);
  if (wail::g_render.master != nullptr)
    wail::master_set_gain(*wail::g_render.master, wail::master_gain());
}

WAIL_API int32_t AIL_master_volume(void) {
  wail::LibraryGuard lock(wail::library_mutex());
  return wail::g_render.masterVolume;
}

} // extern "C"
