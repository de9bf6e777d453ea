// Everything the offline output rendered in a test, read back as the voices summed it: the
// master stage's delay and headroom are taken out, so frame n is the sum at frame n. Exact
// while the limiter is at rest (material below its ceiling), since the headroom is a power of 2.
#pragma once

#include "audio/master.h"
#include "wail32.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace audio_test {

class Tape {
public:
  // Renders `frames` more frames.
  void render(uint32_t frames) {
    const size_t at = out_.size();
    out_.resize(at + 2 * size_t{frames});
    ASSERT_EQ(AIL_render_offline(out_.data() + at, frames), frames);
  }
  // Frames rendered so far; the sum is known up to rendered() - kMasterDelay.
  size_t rendered() const { return out_.size() / 2; }
  float left(size_t frame) const { return sum(2 * frame); }
  float right(size_t frame) const { return sum(2 * frame + 1); }
  // The output itself, after the master stage.
  const std::vector<float> &output() const { return out_; }

  // The largest change between neighbouring output frames over [from, to), either side.
  float largest_step(size_t from, size_t to) const {
    float step = 0.0f;
    for (size_t f = std::max<size_t>(from, 1); f < std::min(to, rendered()); ++f)
      for (size_t side = 0; side < 2; ++side)
        step = std::max(step, std::fabs(out_[2 * f + side] - out_[2 * f - 2 + side]));
    return step;
  }

private:
  float sum(size_t index) const {
    const size_t at = index + 2 * size_t{wail::kMasterDelay};
    return at < out_.size() ? out_[at] / wail::kHeadroom : NAN;
  }
  std::vector<float> out_;
};

} // namespace audio_test
