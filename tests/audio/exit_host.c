/* A host that leaves while sounds and a tune play, without KSOUNDClose: it returns from main
 * (status 7), calls exit(3), or, built with KSND_EXIT_DLOPEN, loads libksnd32 with dlopen and
 * unloads it with dlclose before returning 5. Run by exit_check.cmake, which holds it to its
 * status and a time limit. */
#include "ksnd32.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#ifdef KSND_EXIT_DLOPEN
#include <dlfcn.h>
#endif

/* The exports the host calls, taken from the linked library or from dlsym. */
static struct {
  int32_t (*init)(uint32_t, uint32_t);
  int32_t (*setup)(SampleRecord *, void *);
  int32_t (*play)(SoundRecord *);
  int32_t (*initTune)(const void *, int32_t);
  int32_t (*repeats)(int32_t);
  int32_t (*startTune)(void);
} api;

/* An 8-bit mono 11025 Hz WAV image: 0.2 s of a square wave. */
static unsigned char wav[44 + 2205];
/* A format 0 SMF at 96 ticks per quarter: a chord held for a bar, then the end. */
static const unsigned char tune[] = {'M', 'T',  'h', 'd',  0,   0,    0,   6,    0,    0,    0,
                                     1,   0,    96,  'M',  'T', 'r',  'k', 0,    0,    0,    21,
                                     0,   0x90, 60,  100,  0,   0x90, 64,  100,  0,    0x90, 67,
                                     100, 0x83, 0,   0x80, 60,  0,    0,   0xFF, 0x2F, 0};

static void put_le(unsigned char *at, unsigned value, int bytes) {
  for (int i = 0; i < bytes; ++i) at[i] = (unsigned char)(value >> (8 * i));
}

static void make_wav(void) {
  memcpy(wav, "RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0", 24);
  put_le(wav + 4, sizeof wav - 8, 4);
  put_le(wav + 24, 11025, 4);
  put_le(wav + 28, 11025, 4);
  put_le(wav + 32, 1, 2);
  put_le(wav + 34, 8, 2);
  memcpy(wav + 36, "data", 4);
  put_le(wav + 40, sizeof wav - 44, 4);
  for (size_t i = 44; i < sizeof wav; ++i) wav[i] = ((i / 25) % 2) ? 0xB0 : 0x50;
}

static int start_playing(void) {
  static SampleRecord sample;
  static SoundRecord looping, once;
  make_wav();
  if (!api.init(8, 16) || !api.setup(&sample, wav)) return 0;
  looping.sample = once.sample = &sample;
  looping.priority = once.priority = 1;
  looping.rate = looping.volume = looping.pan = -1;
  once.rate = once.volume = once.pan = -1;
  looping.flags = KSFX_LOOP;
  if (!api.play(&looping) || !api.play(&once)) return 0;
  if (!api.initTune(tune, 0) || !api.repeats(0) || !api.startTune()) return 0;
  struct timespec pause = {0, 100 * 1000 * 1000};
  nanosleep(&pause, NULL); /* sounds end and callbacks run meanwhile */
  return 1;
}

int main(int argc, char **argv) {
#ifdef KSND_EXIT_DLOPEN
  void *library = argc > 1 ? dlopen(argv[1], RTLD_NOW | RTLD_LOCAL) : NULL;
  if (!library) {
    fprintf(stderr, "exit_host: cannot load the library\n");
    return 1;
  }
  *(void **)&api.init = dlsym(library, "KSOUNDInit");
  *(void **)&api.setup = dlsym(library, "KSFX_SetupWAVsample");
  *(void **)&api.play = dlsym(library, "KSFX_PlaySFX");
  *(void **)&api.initTune = dlsym(library, "KTUNE_InitTune");
  *(void **)&api.repeats = dlsym(library, "KTUNE_SetRepeats");
  *(void **)&api.startTune = dlsym(library, "KTUNE_StartTune");
  if (!start_playing()) return 1;
  dlclose(library);
  return 5;
#else
  api.init = KSOUNDInit;
  api.setup = KSFX_SetupWAVsample;
  api.play = KSFX_PlaySFX;
  api.initTune = KTUNE_InitTune;
  api.repeats = KTUNE_SetRepeats;
  api.startTune = KTUNE_StartTune;
  if (!start_playing()) return 1;
  if (argc > 1 && strcmp(argv[1], "exit") == 0) exit(3);
  return 7;
#endif
}
