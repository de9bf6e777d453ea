/* The audio library's waveOut output, live: run under wine with PulseAudio's null sink as the
 * sound card (run_live.sh starts the server, waveout_live.sh records the sink). The library
 * lists a wave device after the null output, opens it, and a looping tone is used up at the
 * real-time rate with every buffer of the device filled. One line per check, then a count. */
#include <windows.h>
/* after <windows.h>: the wave records are the system's */
#include <stdio.h>
#include <wail32.h>

static int g_ok = 0, g_failed = 0;

static void check(int passed, const char *what) {
  printf("%s %s\n", passed ? "ok" : "FAIL", what);
  if (passed)
    ++g_ok;
  else
    ++g_failed;
}

/* A second of a 480 Hz square wave, 16-bit mono at 48000 Hz: it loops without a seam. */
static short g_tone[48000];

/* Frames of the tone played in `ms` milliseconds of wall time, from its position. */
static double frames_played(HSAMPLE sample, DWORD ms) {
  const DWORD start = GetTickCount();
  unsigned last = AIL_sample_position(sample) / 2;
  double frames = 0;
  while (GetTickCount() - start < ms) {
    unsigned now;
    Sleep(10);
    now = AIL_sample_position(sample) / 2;
    frames += (now + 48000 - last) % 48000;
    last = now;
  }
  return frames;
}

int main(void) {
  typedef uint32_t (*CountFn)(void);
  PCMWAVEFORMAT format = {{WAVE_FORMAT_PCM, 2, 48000, 192000, 4}, 16};
  HMODULE audio = GetModuleHandleA("WAIL32.dll");
  CountFn devices = (CountFn)(void (*)(void))GetProcAddress(audio, "waveOutGetNumDevs");
  HDIGDRIVER driver = NULL;
  HSAMPLE sample = NULL;
  int i;

  setvbuf(stdout, NULL, _IONBF, 0);
  for (i = 0; i < 48000; ++i) g_tone[i] = (short)((i / 50) % 2 ? 8000 : -8000);
  check(devices && devices() == 2, "the wave devices are the null output and waveOut");
  check(AIL_waveOutOpen(&driver, NULL, 1, &format) == 0, "waveOut opens");
  if (driver) sample = AIL_allocate_sample_handle(driver);
  if (sample) {
    AIL_set_sample_address(sample, g_tone, sizeof g_tone);
    AIL_set_sample_type(sample, DIG_F_MONO_16, DIG_PCM_SIGNED);
    AIL_set_sample_loop_count(sample, 0);
    AIL_set_sample_playback_rate(sample, 48000);
    AIL_start_sample(sample);
    /* The stream settles first (a fresh wine prefix takes a while to reach the sound server):
     * two seconds in a row at the real-time rate, within the first eight. */
    int steady = 0, second;
    for (second = 0; second < 8 && steady < 2; ++second) {
      const double rate = frames_played(sample, 1000);
      printf("second %d: %.0f frames\n", second + 1, rate);
      steady = rate > 0.95 * 48000 && rate < 1.05 * 48000 ? steady + 1 : 0;
    }
    check(steady == 2, "the tone is used up at the real-time rate (two seconds within 5%)");
    printf("%u underruns\n", (unsigned)AIL_output_underruns());
    check(AIL_output_underruns() == 0, "no buffer of the device went out short");
  } else {
    check(0, "a voice plays on it");
  }
  if (driver) AIL_waveOutClose(driver);
  check(AIL_output_rate() == 0, "it closes");
  printf("waveout_live: %d ok, %d failed\n", g_ok, g_failed);
  return g_failed != 0;
}
