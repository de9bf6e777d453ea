// Loads winmm.dll once and looks its functions up by name (see winmm.h for why).
#include <windows.h>
// after <windows.h>
#include "audio/winmm.h"

#include <mmsystem.h>

namespace wail {
namespace {

// Stores winmm's function `name` into `slot`; false when it is missing.
template <typename Function> bool find(HMODULE dll, const char *name, Function &slot) {
  FARPROC found = GetProcAddress(dll, name);
  slot = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
  return found != nullptr;
}

const Winmm *load() {
  static Winmm table;
  HMODULE dll = LoadLibraryA("winmm.dll");
  if (dll == nullptr) return nullptr;
  const bool complete = find(dll, "waveOutGetNumDevs", table.waveOutGetNumDevs) &&
                        find(dll, "waveOutGetDevCapsA", table.waveOutGetDevCapsA) &&
                        find(dll, "waveOutOpen", table.waveOutOpen) &&
                        find(dll, "waveOutPrepareHeader", table.waveOutPrepareHeader) &&
                        find(dll, "waveOutUnprepareHeader", table.waveOutUnprepareHeader) &&
                        find(dll, "waveOutWrite", table.waveOutWrite) &&
                        find(dll, "waveOutReset", table.waveOutReset) &&
                        find(dll, "waveOutClose", table.waveOutClose) &&
                        find(dll, "midiOutGetNumDevs", table.midiOutGetNumDevs) &&
                        find(dll, "midiOutOpen", table.midiOutOpen) &&
                        find(dll, "midiOutShortMsg", table.midiOutShortMsg) &&
                        find(dll, "midiOutReset", table.midiOutReset) &&
                        find(dll, "midiOutClose", table.midiOutClose);
  return complete ? &table : nullptr;
}

} // namespace

const Winmm *winmm() {
  static const Winmm *const loaded = load();
  return loaded;
}

} // namespace wail
