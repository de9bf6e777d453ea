// The module's load/unload entry: it does nothing of the library's own and always succeeds;
// the host starts the library with KSOUNDInit. ELF libraries need no such entry.
#if defined(_WIN32)
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif
