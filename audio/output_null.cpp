// The null output: the mix is rendered in real time, so voices advance and end as they would
// on a sound card, and is then discarded. Always present; used when no sound device exists.
#include "audio/mixer.h"
#include "audio/outputs.h"
#include "audio/pacer.h"

#include <cstdio>

namespace wail {

bool null_open(uint32_t &rate, bool noSoundDevice) {
  if (noSoundDevice) std::fputs("ksnd32: no sound device found; sound plays silently\n", stderr);
  rate = 48000;
  set_render_rate(rate);
  start_pacer(rate, nullptr);
  return true;
}

void null_close() { stop_pacer(); }

} // namespace wail
