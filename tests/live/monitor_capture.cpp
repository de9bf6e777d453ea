// The monitor recorder: PulseAudio's simple API in blocking reads of one fragment each.
#include "monitor_capture.h"

#include <algorithm>
#include <pulse/error.h>
#include <pulse/simple.h>
#include <stdexcept>

namespace live {
namespace {

constexpr uint32_t kFragmentFrames = 48; // 1 ms

} // namespace

MonitorCapture::MonitorCapture(const std::string &source) {
  pa_sample_spec spec{PA_SAMPLE_S16LE, kRate, 2};
  pa_buffer_attr attr{};
  attr.maxlength = static_cast<uint32_t>(-1);
  attr.tlength = static_cast<uint32_t>(-1);
  attr.prebuf = static_cast<uint32_t>(-1);
  attr.minreq = static_cast<uint32_t>(-1);
  attr.fragsize = kFragmentFrames * 4;
  int error = 0;
  stream_ = pa_simple_new(nullptr, "ksnd32 live test", PA_STREAM_RECORD, source.c_str(), "monitor",
                          &spec, nullptr, &attr, &error);
  if (!stream_) throw std::runtime_error("cannot record " + source + ": " + pa_strerror(error));
  reader_ = std::thread([this] { run(); });
}

MonitorCapture::~MonitorCapture() {
  stop_ = true;
  reader_.join();
  pa_simple_free(stream_);
}

void MonitorCapture::run() {
  std::vector<int16_t> fragment(kFragmentFrames * 2);
  while (!stop_) {
    int error = 0;
    if (pa_simple_read(stream_, fragment.data(), fragment.size() * 2, &error) < 0) {
      std::lock_guard lock(mutex_);
      error_ = pa_strerror(error);
      return;
    }
    Clock::time_point now = Clock::now();
    std::lock_guard lock(mutex_);
    samples_.insert(samples_.end(), fragment.begin(), fragment.end());
    fragments_.push_back({samples_.size() / 2, now});
  }
}

bool MonitorCapture::wait_until_flowing(Clock::duration limit) const {
  constexpr auto kStep = std::chrono::milliseconds(100);
  const uint64_t expected = kRate / 10;
  Clock::time_point until = Clock::now() + limit;
  int steady = 0;
  for (uint64_t before = frames(); steady < 3 && Clock::now() < until;) {
    std::this_thread::sleep_for(kStep);
    uint64_t now = frames();
    steady =
        now - before >= expected * 9 / 10 && now - before <= expected * 11 / 10 ? steady + 1 : 0;
    before = now;
  }
  return steady >= 3;
}

uint64_t MonitorCapture::frames() const {
  std::lock_guard lock(mutex_);
  return samples_.size() / 2;
}

std::vector<float> MonitorCapture::copy(uint64_t first, uint64_t count) const {
  std::lock_guard lock(mutex_);
  std::vector<float> out(count * 2, 0.0f);
  for (uint64_t i = 0; i < count * 2 && 2 * first + i < samples_.size(); ++i)
    out[i] = static_cast<float>(samples_[2 * first + i]) / 32768.0f;
  return out;
}

Clock::time_point MonitorCapture::arrival(uint64_t frame) const {
  std::lock_guard lock(mutex_);
  auto it = std::upper_bound(fragments_.begin(), fragments_.end(), frame,
                             [](uint64_t f, const Fragment &x) { return f < x.end; });
  if (it == fragments_.end()) return Clock::time_point::max();
  auto early = std::chrono::duration<double>(static_cast<double>(it->end - 1 - frame) / kRate);
  return it->time - std::chrono::duration_cast<Clock::duration>(early);
}

uint64_t MonitorCapture::frame_at(Clock::time_point time) const {
  std::lock_guard lock(mutex_);
  auto it = std::lower_bound(fragments_.begin(), fragments_.end(), time,
                             [](const Fragment &x, Clock::time_point t) { return x.time < t; });
  if (it == fragments_.end()) return samples_.size() / 2;
  return it == fragments_.begin() ? 0 : (it - 1)->end;
}

std::string MonitorCapture::error() const {
  std::lock_guard lock(mutex_);
  return error_;
}

} // namespace live
