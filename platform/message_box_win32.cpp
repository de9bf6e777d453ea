// The message box on Windows: MessageBoxA with no owner window and the caller's style (0x30, OK
// with the exclamation icon). It blocks until dismissed; with no desktop it returns at once.
#include "platform/message_box.h"

#include <windows.h>

namespace platform {

// MessageBoxA answers 0 when the box could not be shown; the caller's contract is the OK result.
int32_t show_system_message_box(const char *text, const char *caption, uint32_t style) {
  MessageBoxA(nullptr, text, caption, style);
  return 1;
}

} // namespace platform
