// Keeps modules loaded while a mixer thread runs. On Windows a thread's exit takes the loader
// lock, so a library unloaded (FreeLibrary) with its threads running would wait for them under
// that lock at its unload and hang the host; and the thread calls back into the module that
// opened the driver (the engine). So each mixer thread holds a reference to this library and to
// the opener's module, given back once the thread is joined: a library left playing stays
// loaded, and plays on, until the process ends. Elsewhere nothing is held: the exit handler
// stops the threads when the library is unloaded.
#pragma once

namespace wail {

struct ModuleHold {
  void *self;   // this library's module, or null
  void *opener; // the module holding the code at the address given, or null
};

ModuleHold hold_modules(const void *opener);
void release_modules(const ModuleHold &hold);

} // namespace wail
