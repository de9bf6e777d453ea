// winmm's wave and MIDI functions as this library calls them. The library exports its own
// waveOutGetNumDevs, waveOutGetDevCapsA and midiOutGetNumDevs (its own device lists), so winmm's
// are never linked by name: winmm.dll is loaded at first use and each function is looked up
// with GetProcAddress. Include <windows.h> and <mmsystem.h> before this header.
#pragma once

namespace wail {

struct Winmm {
  UINT(WINAPI *waveOutGetNumDevs)();
  MMRESULT(WINAPI *waveOutGetDevCapsA)(UINT_PTR, LPWAVEOUTCAPSA, UINT);
  MMRESULT(WINAPI *waveOutOpen)(LPHWAVEOUT, UINT, LPCWAVEFORMATEX, DWORD_PTR, DWORD_PTR, DWORD);
  MMRESULT(WINAPI *waveOutPrepareHeader)(HWAVEOUT, LPWAVEHDR, UINT);
  MMRESULT(WINAPI *waveOutUnprepareHeader)(HWAVEOUT, LPWAVEHDR, UINT);
  MMRESULT(WINAPI *waveOutWrite)(HWAVEOUT, LPWAVEHDR, UINT);
  MMRESULT(WINAPI *waveOutReset)(HWAVEOUT);
  MMRESULT(WINAPI *waveOutClose)(HWAVEOUT);
  UINT(WINAPI *midiOutGetNumDevs)();
  MMRESULT(WINAPI *midiOutOpen)(LPHMIDIOUT, UINT, DWORD_PTR, DWORD_PTR, DWORD);
  MMRESULT(WINAPI *midiOutShortMsg)(HMIDIOUT, DWORD);
  MMRESULT(WINAPI *midiOutReset)(HMIDIOUT);
  MMRESULT(WINAPI *midiOutClose)(HMIDIOUT);
};

// winmm's functions, every one found; null when winmm.dll or one of them is missing, which
// this library treats as a system without wave or MIDI devices. Loaded once, any thread; the
// DLL stays loaded for the life of the process.
const Winmm *winmm();

} // namespace wail
