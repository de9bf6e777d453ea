// The music subsystem's trace hooks: silent in the library; tests may observe them.
#pragma once

#include <cstdint>

namespace music {

void TuneDebugMessage(const char *message);
void TuneDebugValue(int32_t value, const char *label);

// Test seam: receives every trace (value 0 and the text for messages). Null: silent.
using TraceObserver = void (*)(const char *text, int32_t value, bool isValue);
void set_trace_observer(TraceObserver observer);

} // namespace music
