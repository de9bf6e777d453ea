// Conversion of the float output to the 16-bit PCM that the SDL2 and WAV outputs write.
#include "audio/outputs.h"

#include <algorithm>
#include <cmath>

namespace wail {

void to_pcm16(const float *mix, int16_t *pcm, uint32_t samples) noexcept {
  for (uint32_t i = 0; i < samples; ++i) {
    const float sample = std::isnan(mix[i]) ? 0.0f : std::clamp(mix[i], -1.0f, 1.0f);
    pcm[i] = static_cast<int16_t>(std::lrint(sample * 32767.0f));
  }
}

} // namespace wail
