/* A Windows host that unloads KSND32.dll while a sound plays, without closing the library: it
 * loads the DLL with LoadLibraryA only (no import library), starts it on the first wave device
 * the search finds, plays a short sound from a WAV image in memory and calls FreeLibrary at
 * once. FreeLibrary must return, and the sound's end, delivered later on the audio library's
 * own thread into the engine, must not bring the process down. One line per check. */
#include <windows.h>
/* the library's header after the system's, for its record types only */
#include <ksnd32.h>
#include <stdio.h>
#include <string.h>

typedef void (*AnyFunction)(void);
typedef int32_t (*InitFn)(uint32_t, uint32_t);
typedef int32_t (*SetupFn)(SampleRecord *, void *);
typedef int32_t (*PlayFn)(SoundRecord *);

static int g_ok = 0, g_failed = 0;

static void check(int passed, const char *what) {
  printf("%s %s\n", passed ? "ok" : "FAIL", what);
  if (passed)
    ++g_ok;
  else
    ++g_failed;
}

/* A mono 8-bit 11025 Hz square wave of 4000 samples (0.36 s) as a RIFF WAVE image. */
static unsigned char g_wave[44 + 4000] = {
    'R', 'I', 'F', 'F', 0xC4, 0x0F, 0,   0,   'W', 'A',  'V',  'E',  'f', 'm',  't',
    ' ', 16,  0,   0,   0,    1,    0,   1,   0,   0x11, 0x2B, 0,    0,   0x11, 0x2B,
    0,   0,   1,   0,   8,    0,    'd', 'a', 't', 'a',  0xA0, 0x0F, 0,   0};

int main(void) {
  HMODULE library;
  static SampleRecord sample;
  static SoundRecord sound;
  int i;

  setvbuf(stdout, NULL, _IONBF, 0);
  for (i = 0; i < 4000; ++i) g_wave[44 + i] = (unsigned char)((i / 25) % 2 ? 200 : 56);
  library = LoadLibraryA("KSND32.dll");
  check(library != NULL, "LoadLibraryA loads KSND32.dll");
  if (library) {
    InitFn init = (InitFn)(AnyFunction)GetProcAddress(library, "KSOUNDInit");
    SetupFn setup = (SetupFn)(AnyFunction)GetProcAddress(library, "KSFX_SetupWAVsample");
    PlayFn play = (PlayFn)(AnyFunction)GetProcAddress(library, "KSFX_PlaySFX");
    sound.sample = &sample;
    sound.priority = 1;
    sound.rate = sound.volume = sound.pan = -1;
    check(init && setup && play && init(1, 16) == 1 && setup(&sample, g_wave) == 1 &&
              play(&sound) == 1,
          "start-up on the first device found, and a sound plays");
    check(FreeLibrary(library) != 0, "FreeLibrary returns while the sound plays");
    Sleep(800);
    check(1, "the sound ends after the unload without bringing the host down");
  }
  printf("unload_host: %d ok, %d failed\n", g_ok, g_failed);
  return g_failed != 0;
}
