// Rendering a tune's tail: the synthesiser's release after the last event, the fade of a tail
// that outlasts the limit, and the settling of the audio library's output.
#include "tune_tail.h"

#include "error.h"
#include "wav_writer.h"

#include <ksnd32.h>
#include <span>
#include <vector>

namespace ksfx {
namespace {

constexpr double kLongestTail = 5.0; // seconds a tail may ring

// Renders `count` frames into the file; returns `count`.
uint32_t render_into(WavWriter &wav, std::vector<float> &buffer, uint32_t count) {
  buffer.resize(std::max<size_t>(buffer.size(), count * 2u));
  if (AIL_render_offline(buffer.data(), count) != count)
    throw ToolError("the audio library is not rendering offline");
  wav.write(std::span<const float>(buffer.data(), count * 2u));
  return count;
}

} // namespace

double render_tail(WavWriter &wav) {
  const uint32_t rate = AIL_output_rate();
  const uint32_t block = rate / 100;
  std::vector<float> buffer;
  uint64_t frames = 0;
  while (AIL_synth_sounding() && static_cast<double>(frames) < kLongestTail * rate)
    frames += render_into(wav, buffer, block);
  KTUNE_StopTune();
  while (AIL_synth_sounding()) frames += render_into(wav, buffer, block); // the stop's fade
  return static_cast<double>(frames) / rate;
}

void flush_output_delay(WavWriter &wav) {
  std::vector<float> buffer;
  if (uint32_t delay = AIL_output_delay()) render_into(wav, buffer, delay);
}

} // namespace ksfx
