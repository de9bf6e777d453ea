// The message box entry: the test hook when one is set, else the platform's own box.
#include "platform/message_box.h"

#include <atomic>

namespace platform {
namespace {

// Any thread may show a box; the hook is set by tests.
struct MessageBoxState {
  std::atomic<MessageBoxHook> hook; // replaces the box when set
};
MessageBoxState g_box = {{nullptr}};

} // namespace

int32_t message_box(const char *text, const char *caption, uint32_t style) {
  if (MessageBoxHook hook = g_box.hook.load()) return hook(text, caption, style);
  return show_system_message_box(text, caption, style);
}

void set_message_box_hook(MessageBoxHook hook) { g_box.hook.store(hook); }

} // namespace platform
