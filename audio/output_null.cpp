// The null output: the mix is pulled in real time, so voices advance and end as they would on a
// sound card, and is then discarded. Always present; used when no sound device exists.
#include "audio/library.h"
#include "audio/outputs.h"
#include "audio/pacer.h"

#include <cstdio>

namespace wail {
namespace {

struct NullOutput {
  Pacer *pacer; // between null_open and null_close; host thread
};
NullOutput g_null = {nullptr};

} // namespace

bool null_open(std::unique_ptr<FrameRing> &ring, uint32_t &rate, bool noSoundDevice) {
  rate = 48000;
  ring = ring_for_period(kPacerPeriod);
  if (!ring) {
    set_last_error("AIL_waveOutOpen: out of memory");
    return false;
  }
  g_null.pacer = start_pacer(*ring, rate, nullptr);
  if (g_null.pacer == nullptr) return false;
  if (noSoundDevice) std::fputs("ksnd32: no sound device found; sound plays silently\n", stderr);
  return true;
}

void null_close() {
  stop_pacer(g_null.pacer);
  g_null.pacer = nullptr;
}

} // namespace wail
