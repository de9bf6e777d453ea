// The offline output: no thread renders. AIL_render_offline renders on the host's thread
// through the same path as the real-time outputs' mixer thread: blocks cut where a voice runs
// out, each callback delivered before the frames after it, so a callback, and the sound it
// starts, falls on the exact frame. Given the same calls in the same order, the output is the
// same to the bit.
#include "audio/library.h"
#include "audio/outputs.h"
#include "audio/render.h"
#include "exports/boundary.h"

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
  g_offline.open = true;
  return true;
}

void offline_close() { g_offline.open = false; }

} // namespace wail

extern "C" {

WAIL_API uint32_t AIL_render_offline(float *out, uint32_t frames) {
  return exports::guarded(0u, [&] {
    wail::LibraryGuard lock(wail::library_mutex());
    if (!wail::g_offline.open || out == nullptr) return 0u;
    return wail::render_frames(out, frames);
  });
}

} // extern "C"
