// The calling thread's scheduling. POSIX: SCHED_FIFO at its lowest priority (above every ordinary
// thread, below the sound server's and SDL's own device threads), else nice -10 for this thread.
// Windows: THREAD_PRIORITY_HIGHEST. The mixer thread always waits for room in its ring, so it
// cannot hold a processor for longer than it takes to fill the ring once.
#include "audio/thread_priority.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace wail {

bool raise_thread_priority() noexcept {
#if defined(_WIN32)
  return SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST) != 0;
#else
  sched_param param{};
  param.sched_priority = sched_get_priority_min(SCHED_FIFO);
  if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0) return true;
  // Linux keeps a nice value per thread: PRIO_PROCESS with the thread's id sets only this one.
  return setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), -10) == 0;
#endif
}

} // namespace wail
