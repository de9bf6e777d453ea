/* A small host written in C99: compiles against the public headers, links libksnd32 and
 * checks a few results that cross the C boundary. */
#include "ksnd32.h"

#include <stdio.h>
#include <string.h>

static int failures = 0;

static void expect(int condition, const char *what) {
  if (!condition) {
    fprintf(stderr, "c_host: FAILED %s\n", what);
    ++failures;
  }
}

/* A mono 8-bit 11025 Hz WAV image with four bytes of data. */
static unsigned char wav[] = {'R',  'I',  'F', 'F', 40,   0,    0, 0, 'W', 'A', 'V', 'E',
                              'f',  'm',  't', ' ', 16,   0,    0, 0, 1,   0,   1,   0,
                              0x11, 0x2B, 0,   0,   0x11, 0x2B, 0, 0, 1,   0,   8,   0,
                              'd',  'a',  't', 'a', 4,    0,    0, 0, 128, 200, 128, 56};

int main(void) {
  SampleRecord sample;
  SoundRecord sound;
  int16_t x = 1, y = 1, direction = 0;

  memset(&sample, 0, sizeof sample);
  expect(KSFX_SetupWAVsample(&sample, wav) == 1, "KSFX_SetupWAVsample accepts a WAV image");
  expect(sample.rate == 11025 && sample.volume == 100 && sample.pan == 64 && sample.length == 4,
         "the sample record is filled");
  expect(sample.data == wav + 44, "data points into the image");

  KSFX_GetEarPos(&x, &y, &direction);
  expect(x == 0 && y == 0 && direction == -1, "the listener starts at the origin facing -1");

  expect(KSOUNDInit(4, 16) == 1, "KSOUNDInit starts the library");
  memset(&sound, 0, sizeof sound);
  sound.sample = &sample;
  sound.priority = 1;
  sound.rate = sound.volume = sound.pan = -1;
  expect(KSFX_PlaySFX(&sound) == 1 && sound.status == 1, "a sound plays");
  expect(KSFX_GetChannel(0)->current == &sound, "channel 0 holds it");
  KSFX_StopSFX(&sound);
  expect(sound.status == 0, "it stops");
  KSOUNDClose();
  expect(KSFX_GetChannel(0) == NULL, "no channel after close");

  if (failures == 0) printf("c_host: all checks passed\n");
  return failures ? 1 : 0;
}
