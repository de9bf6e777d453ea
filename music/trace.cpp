// The silent trace hooks of the music subsystem.
#include "music/trace.h"

#include <atomic>

namespace music {
namespace {
std::atomic<TraceObserver> g_observer{nullptr};
} // namespace

void TuneDebugMessage(const char *message) {
  if (TraceObserver observer = g_observer.load()) observer(message, 0, false);
}

void TuneDebugValue(int32_t value, const char *label) {
  if (TraceObserver observer = g_observer.load()) observer(label, value, true);
}

void set_trace_observer(TraceObserver observer) { g_observer.store(observer); }

} // namespace music
