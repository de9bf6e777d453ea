// The mixer thread: whenever the ring has room for a block it takes the library lock, renders
// the block (delivering the callbacks that fall in it) and writes it to the ring. It waits for
// the lock as long as it must; the frames already in the ring keep the device playing. It runs
// above ordinary threads, as the device's own thread does, so that a busy machine does not starve
// it.
#include "audio/mixer_thread.h"

#include "audio/library.h"
#include "audio/module_hold.h"
#include "audio/render.h"
#include "audio/thread_priority.h"

#include <algorithm>
#include <new>
#include <thread>

namespace wail {

namespace {

// The most the mixer renders under one hold of the library lock.
constexpr uint32_t kMaxBlock = 256;

} // namespace

struct MixerThread {
  explicit MixerThread(FrameRing &r) : ring(r) {}

  FrameRing &ring;
  std::atomic<bool> stopping{false}; // set by stop_mixer_thread
  std::thread thread;
  ModuleHold modules{};       // kept loaded while the thread runs
  float block[2 * kMaxBlock]; // mixer thread only
};

namespace {

struct Retired {
  MixerThread *thread; // stopped from its own callback, not yet joined; library lock
};
Retired g_retired = {nullptr};

// Renders one block into the thread's buffer; false when the thread must stop.
bool render_ahead(MixerThread &t, uint32_t frames) {
  if (!lock_unless([&] { return t.stopping.load(std::memory_order_acquire); })) return false;
  try {
    render_frames(t.block, frames);
  } catch (...) {
    // A host callback that throws loses the rest of its block, not the process.
  }
  library_mutex().unlock();
  return !t.stopping.load(std::memory_order_acquire);
}

void run(MixerThread &t) {
  raise_thread_priority();
  while (!t.stopping.load(std::memory_order_acquire)) {
    const uint32_t seen = t.ring.wakeups();
    const uint32_t room = t.ring.room();
    if (room < kMixerMinBlock) {
      t.ring.wait_for_room(seen);
      continue;
    }
    const uint32_t frames = std::min(room, kMaxBlock);
    if (!render_ahead(t, frames)) return;
    t.ring.write(t.block, frames);
  }
}

bool is_current(const MixerThread &t) { return t.thread.get_id() == std::this_thread::get_id(); }

} // namespace

MixerThread *start_mixer_thread(FrameRing &ring, const void *opener) {
  reap_mixer_thread();
  auto *t = new (std::nothrow) MixerThread(ring);
  if (t == nullptr) {
    set_last_error("AIL_waveOutOpen: out of memory");
    return nullptr;
  }
  try {
    t->thread = std::thread(run, std::ref(*t));
  } catch (...) {
    delete t;
    set_last_error("AIL_waveOutOpen: the mixer thread cannot start");
    return nullptr;
  }
  t->modules = hold_modules(opener);
  return t;
}

void stop_mixer_thread(MixerThread *t) {
  if (t == nullptr) return;
  t->stopping.store(true, std::memory_order_release);
  t->ring.wake();
  if (is_current(*t)) {
    reap_mixer_thread();
    g_retired.thread = t;
    return;
  }
  t->thread.join();
  release_modules(t->modules);
  delete t;
}

void reap_mixer_thread() {
  MixerThread *t = g_retired.thread;
  if (t == nullptr || is_current(*t)) return;
  t->thread.join();
  release_modules(t->modules);
  delete t;
  g_retired.thread = nullptr;
}

} // namespace wail
