// The message box on POSIX systems: SDL2's simple message box when a desktop session is present
// (SDL2 is loaded at run time, never linked), else the caption and text on standard error.
#include "platform/message_box.h"

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <unistd.h>

namespace platform {
namespace {

// SDL_ShowSimpleMessageBox(flags, title, message, window): 0 when the box was shown.
using ShowSimpleMessageBoxFn = int (*)(uint32_t flags, const char *title, const char *message,
                                       void *window);
constexpr uint32_t kSdlMessageBoxWarning = 0x20;

bool has_desktop() { return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY"); }

// The library stays loaded once opened: SDL may keep state behind the box it showed.
bool show_with_sdl(const char *text, const char *caption) {
  void *sdl = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
  if (!sdl) return false;
  auto show = reinterpret_cast<ShowSimpleMessageBoxFn>(dlsym(sdl, "SDL_ShowSimpleMessageBox"));
  return show && show(kSdlMessageBoxWarning, caption, text, nullptr) == 0;
}

// Blocks as a box would: waits for Enter when a person can answer on the terminal.
void show_on_terminal(const char *text, const char *caption) {
  std::fprintf(stderr, "%s: %s\n", caption, text);
  if (!isatty(STDIN_FILENO)) return;
  std::fprintf(stderr, "Press Enter to continue.\n");
  for (int c = std::getchar(); c != '\n' && c != EOF; c = std::getchar()) {
  }
}

} // namespace

// The style is always OK with the exclamation icon here, which both forms show.
int32_t show_system_message_box(const char *text, const char *caption, uint32_t) {
  if (!(has_desktop() && show_with_sdl(text, caption))) show_on_terminal(text, caption);
  return 1;
}

} // namespace platform
