// The ring between the mixer thread and the device: a lock-free single-producer,
// single-consumer queue of finished stereo float frames. The mixer thread writes and may wait
// for room; the device thread (SDL's callback, or the null/WAV pacing thread) only copies out,
// never waits and never allocates. A device that finds too few frames counts an underrun.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

namespace wail {

// The mixer thread renders once this many frames of room are free.
inline constexpr uint32_t kMixerMinBlock = 64;

class FrameRing {
public:
  // A ring of `capacity` frames (a power of two) that the producer fills to `limit` frames at
  // most (the latency it adds), holding `silence` frames of silence, so the device has something
  // to play before the mixer thread's first block; null without memory.
  static std::unique_ptr<FrameRing> create(uint32_t capacity, uint32_t limit, uint32_t silence);

  // Producer side: the frames it may write before the ring holds `limit`.
  uint32_t room() const noexcept;
  void write(const float *frames, uint32_t count) noexcept; // count <= room()
  // The wake-up count to pass to wait_for_room, read before room().
  uint32_t wakeups() const noexcept;
  // Waits until the consumer takes frames or wake() is called, if neither happened since
  // `seen` was read.
  void wait_for_room(uint32_t seen) const noexcept;
  void wake() noexcept;

  // Consumer side: copies up to `count` frames into `out`; returns how many.
  uint32_t read(float *out, uint32_t count) noexcept;

private:
  FrameRing(uint32_t capacity, uint32_t limit);

  std::unique_ptr<float[]> samples_; // 2 floats per frame
  uint32_t mask_;                    // capacity - 1
  uint32_t limit_;                   // the most frames the producer keeps queued
  std::atomic<uint32_t> written_{0}; // frames ever written; producer stores
  std::atomic<uint32_t> read_{0};    // frames ever read; consumer stores
  std::atomic<uint32_t> wakeups_{0}; // bumped by each read and by wake()
};

// The ring for a device that pulls `period` frames at a time: it keeps one pull and a margin
// queued (the period again, between kMixerMinBlock and 256 frames), primed with silence but for
// one mixer block. For the pacing threads' 128-frame period that is 256 frames (5.3 ms at
// 48000 Hz); for the SDL2 output's 1024 frames, 1280 (27 ms).
std::unique_ptr<FrameRing> ring_for_period(uint32_t period);

// Underruns since the last driver opened: device pulls that found the ring short.
void count_underrun() noexcept;
void reset_underruns() noexcept;

} // namespace wail
