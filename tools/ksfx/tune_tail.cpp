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
constexpr double kSettle = 0.005;    // seconds that carry the last fades and frames out

} // namespace

double render_tail(WavWriter &wav) {
  const uint32_t rate = AIL_output_rate();
  const uint32_t block = rate / 100;
  std::vector<float> buffer(block * 2);
  uint64_t frames = 0;
  auto render = [&](uint32_t count) {
    if (AIL_render_offline(buffer.data(), count) != count)
      throw ToolError("the audio library is not rendering offline");
    wav.write(std::span<const float>(buffer.data(), count * 2u));
    frames += count;
  };
  while (AIL_synth_sounding() && static_cast<double>(frames) < kLongestTail * rate) render(block);
  KTUNE_StopTune();
  while (AIL_synth_sounding()) render(block); // the stop's fade
  render(static_cast<uint32_t>(kSettle * rate));
  return static_cast<double>(frames) / rate;
}

} // namespace ksfx
