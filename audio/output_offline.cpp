// The offline output: no thread renders. AIL_render_offline mixes on the host's thread in
// blocks of at most kBlockFrames, cut short where a voice runs out, and delivers after each
// block the callbacks of the samples that ended in it: a callback, and the sound it starts,
// falls on the exact frame. Given the same calls in the same order, the output is the same to
// the bit.
#include "audio/library.h"
#include "audio/mixer.h"
#include "audio/outputs.h"
#include "audio/service.h"

#include <algorithm>

namespace wail {
namespace {

constexpr uint32_t kRate = 48000;

struct OfflineState {
  bool open; // between offline_open and offline_close; under the library lock
};
OfflineState g_offline;

} // namespace

bool offline_open(uint32_t &rate) {
  rate = kRate;
  set_render_rate(rate);
  g_offline.open = true;
  return true;
}

void offline_close() { g_offline.open = false; }

} // namespace wail

extern "C" {

WAIL_API uint32_t AIL_render_offline(float *out, uint32_t frames) {
  wail::LibraryGuard lock(wail::library_mutex());
  if (!wail::g_offline.open || out == nullptr) return 0;
  for (uint32_t done = 0; done < frames;) {
    const uint32_t untilEnd = wail::frames_until_first_end(wail::kBlockFrames);
    const uint32_t block = std::min(frames - done, std::max(untilEnd, 1u));
    wail::render(out + 2 * static_cast<size_t>(done), block);
    wail::deliver_reported_ends();
    done += block;
  }
  return frames;
}

} // extern "C"
