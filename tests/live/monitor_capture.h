// Records a PulseAudio source (a null sink's monitor) on a thread of its own, in fragments of
// about a millisecond, noting when each fragment reached the reader on the steady clock: the
// clock the test also stamps its calls with.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct pa_simple;

namespace live {

using Clock = std::chrono::steady_clock;

class MonitorCapture {
public:
  static constexpr uint32_t kRate = 48000; // stereo 16-bit, the null sink's own format

  // Connects to `source`; throws std::runtime_error with PulseAudio's reason.
  explicit MonitorCapture(const std::string &source);
  ~MonitorCapture();
  MonitorCapture(const MonitorCapture &) = delete;
  MonitorCapture &operator=(const MonitorCapture &) = delete;

  // Waits until frames arrive at the stream's rate, up to `limit`: a null sink that was idle
  // has rendered up to two seconds ahead and sends nothing new until the clock catches up.
  bool wait_until_flowing(Clock::duration limit) const;
  // Frames captured so far (one frame: left and right).
  uint64_t frames() const;
  // The captured frames [first, first + count), as floats, left and right interleaved.
  std::vector<float> copy(uint64_t first, uint64_t count) const;
  // When frame `frame` reached the reader, on the steady clock. Frames of one fragment are
  // taken to have arrived at the rate of the stream, the last one when the read returned.
  Clock::time_point arrival(uint64_t frame) const;
  // The first frame that arrived at or after `time`.
  uint64_t frame_at(Clock::time_point time) const;
  // A read error ends the capture; its text, or "" while it runs.
  std::string error() const;

private:
  struct Fragment {
    uint64_t end; // frames captured once this fragment was read
    Clock::time_point time;
  };
  void run();

  pa_simple *stream_ = nullptr;
  mutable std::mutex mutex_; // guards the fields below
  std::vector<int16_t> samples_;
  std::vector<Fragment> fragments_;
  std::string error_;
  std::atomic<bool> stop_{false};
  std::thread reader_;
};

} // namespace live
