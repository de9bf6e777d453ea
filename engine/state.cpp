// Engine state storage.
#include "engine/state.h"

namespace engine {
EngineState g_state = {0, 0, nullptr};
} // namespace engine
