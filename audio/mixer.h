// The one backend-free render entry point: every output (SDL2 callback, null and WAV pacing
// threads, offline render) calls render() for each block it needs.
#pragma once

#include <cstdint>

namespace wail {

// Frames per block of the pacing threads and of the offline render: 5 ms at 48000 Hz.
inline constexpr uint32_t kBlockFrames = 240;

// Writes `frames` stereo frames (interleaved floats, full scale 1.0, not clipped) of every
// playing voice and the tune into `out`, and reports voices that ran out to the service side.
// Never allocates, never takes the library lock, never calls the host.
void render(float *out, uint32_t frames) noexcept;

// Output frames until the first playing voice runs out (0 when one already has), at most
// `limit`. The offline render cuts its blocks there, so each end-of-sample callback, and the
// sound it starts, falls on the exact frame.
uint32_t frames_until_first_end(uint32_t limit) noexcept;

// The rate render() produces, passed to the tune. Set before an output starts rendering.
void set_render_rate(uint32_t rate) noexcept;
uint32_t render_rate() noexcept;

// Converts a float mix to 16-bit signed samples, saturating at full scale.
void to_pcm16(const float *mix, int16_t *pcm, uint32_t samples) noexcept;

} // namespace wail
