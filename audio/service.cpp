// The service thread: waits for the render's end reports and delivers each one, holding the
// library lock, so callbacks never interleave with the host's calls. Owns the thread and its
// wake-up counter.
#include "audio/service.h"

#include "audio/counters.h"
#include "audio/end_reports.h"
#include "audio/library.h"
#include "audio/voices.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace wail {
namespace {

struct ServiceState {
  std::thread thread;            // the service thread; started and joined by the host's thread
  std::atomic<uint32_t> wakeups; // bumped by the render after it reports; waited on by the thread
  std::atomic<bool> stopping;    // set by stop_service; read by the thread
};
ServiceState g_service;

// Delivers one end, as deliver_reported_ends describes. Library lock held.
void deliver_end(EndReport report) {
  wail_sample &voice = voice_at(report.voice);
  if (!voice.allocated || voice.generation != report.generation) return;
  if (voice.status != SMP_PLAYING) return;
  count(g_counters.delivered);
  voice.status = SMP_DONE;
  if (voice.callback != nullptr) voice.callback(&voice);
}

// Takes the library lock, unless a stop is requested while waiting for it. Polling keeps a
// shutdown from deadlocking when its caller holds the lock.
bool lock_unless_stopping() {
  std::recursive_mutex &mutex = library_mutex();
  for (unsigned tries = 0; !mutex.try_lock(); ++tries) {
    if (g_service.stopping.load(std::memory_order_acquire)) return false;
    if (tries < 16)
      std::this_thread::yield();
    else
      std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

void deliver_until_empty_or_stopped() {
  EndReport report{};
  while (!g_service.stopping.load(std::memory_order_acquire) && pop_end_report(report)) {
    if (!lock_unless_stopping()) return;
    deliver_end(report);
    library_mutex().unlock();
  }
}

void service_loop() {
  for (;;) {
    const uint32_t seen = g_service.wakeups.load(std::memory_order_acquire);
    if (g_service.stopping.load(std::memory_order_acquire)) return;
    deliver_until_empty_or_stopped();
    g_service.wakeups.wait(seen, std::memory_order_acquire);
  }
}

} // namespace

void start_service() {
  if (g_service.thread.joinable()) return;
  g_service.stopping.store(false, std::memory_order_release);
  g_service.thread = std::thread(service_loop);
}

void stop_service() {
  if (!g_service.thread.joinable()) return;
  g_service.stopping.store(true, std::memory_order_release);
  g_service.wakeups.fetch_add(1, std::memory_order_release);
  g_service.wakeups.notify_all();
  // A callback that shuts the library down cannot join its own thread; it leaves the loop
  // as soon as the callback returns.
  if (g_service.thread.get_id() == std::this_thread::get_id())
    g_service.thread.detach();
  else
    g_service.thread.join();
}

void wake_service() noexcept {
  g_service.wakeups.fetch_add(1, std::memory_order_release);
  g_service.wakeups.notify_one();
}

void deliver_reported_ends() {
  LibraryGuard guard(library_mutex());
  EndReport report{};
  while (pop_end_report(report)) deliver_end(report);
}

} // namespace wail
