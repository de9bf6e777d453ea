// The system's default output on Windows is winmm's wave mapper: present when winmm reports a
// wave device, named after the first one (its name fits the 32-byte field of the device list).
#include <windows.h>
// after <windows.h>
#include "audio/devices.h"
#include "audio/winmm.h"

#include <cstdio>
#include <mmsystem.h>
#include <mutex>

namespace wail {

const char *const kSystemOutputChoice = "waveout";

namespace {

struct DeviceProbe {
  std::once_flag probed; // winmm is asked once per process
  bool available;        // written once under probed
  char name[32];         // the first wave device's name; under probed
};
DeviceProbe g_probe;

bool probe_waveout() {
  const Winmm *mm = winmm();
  if (mm == nullptr || mm->waveOutGetNumDevs() == 0) return false;
  WAVEOUTCAPSA caps{};
  if (mm->waveOutGetDevCapsA(0, &caps, sizeof caps) == MMSYSERR_NOERROR && caps.szPname[0] != 0)
    std::snprintf(g_probe.name, sizeof g_probe.name, "%.31s", caps.szPname);
  else
    std::snprintf(g_probe.name, sizeof g_probe.name, "Wave mapper (waveOut)");
  return true;
}

} // namespace

bool system_output_available() {
  std::call_once(g_probe.probed, [] { g_probe.available = probe_waveout(); });
  return g_probe.available;
}

const char *system_output_name() { return g_probe.name; }

} // namespace wail
