// A short spin lock between the host's AIL_ calls and the render. Holders do a few field
// writes (host) or mix one voice (render), so waiting is brief; it never sleeps on a mutex.
#pragma once

#include <atomic>
#include <thread>

namespace wail {

class SpinLock {
public:
  void lock() noexcept {
    for (unsigned tries = 0; flag_.test_and_set(std::memory_order_acquire); ++tries) {
      // A preempted holder cannot finish while we burn its core: give way after a short spin.
      if (tries >= 64) std::this_thread::yield();
    }
  }
  void unlock() noexcept { flag_.clear(std::memory_order_release); }

private:
  std::atomic_flag flag_{};
};

// Scope guard for SpinLock.
class SpinGuard {
public:
  explicit SpinGuard(SpinLock &lock) noexcept : lock_(lock) { lock_.lock(); }
  ~SpinGuard() { lock_.unlock(); }
  SpinGuard(const SpinGuard &) = delete;
  SpinGuard &operator=(const SpinGuard &) = delete;

private:
  SpinLock &lock_;
};

} // namespace wail
