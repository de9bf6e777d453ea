// Stand-in for the modal message box: OK button, exclamation icon (style 0x30), no owner.
// Blocks until dismissed: a desktop dialog when a display is available, otherwise the caption
// and text on standard error, waiting for Enter when standard input is a terminal.
#pragma once

#include <cstdint>

namespace platform {

constexpr uint32_t kMessageBoxExclamationOk = 0x30;

// Shows the box and returns once it is dismissed (1, the OK button).
int32_t message_box(const char *text, const char *caption, uint32_t style);

// Test seam: replaces the box (null restores the real one).
using MessageBoxHook = int32_t (*)(const char *text, const char *caption, uint32_t style);
void set_message_box_hook(MessageBoxHook hook);

} // namespace platform
