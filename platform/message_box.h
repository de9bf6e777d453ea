// The modal message box: OK button, exclamation icon (style 0x30), no owner. Blocks until
// dismissed. Windows shows MessageBoxA; elsewhere a desktop dialog when a display is available,
// otherwise the caption and text on standard error, waiting for Enter on a terminal.
#pragma once

#include <cstdint>

namespace platform {

constexpr uint32_t kMessageBoxExclamationOk = 0x30;

// Shows the box and returns once it is dismissed (1, the OK button).
int32_t message_box(const char *text, const char *caption, uint32_t style);

// Test seam: replaces the box (null restores the real one).
using MessageBoxHook = int32_t (*)(const char *text, const char *caption, uint32_t style);
void set_message_box_hook(MessageBoxHook hook);

// The system's own box, defined by the platform's branch (message_box_win32.cpp or
// message_box_posix.cpp); message_box calls it when no hook is set.
int32_t show_system_message_box(const char *text, const char *caption, uint32_t style);

} // namespace platform
