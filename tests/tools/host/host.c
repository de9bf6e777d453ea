/* host.c: the smallest host of an installed KSND32: starts the library offline, writes and
 * imports an empty bank, renders a moment of silence and shuts down. Prints "ok" on success. */
#include <ksnd32.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv) {
  const char *bankPath = argc > 1 ? argv[1] : "empty.ksfx";
  float frames[2 * 64];
  setenv("KSND_AUDIO", "offline", 1);
  if (!KSOUNDInit(4, 16)) return fprintf(stderr, "KSOUNDInit failed\n"), 1;
  if (!CompileSFXpackage(bankPath, NULL, NULL, 0, NULL, NULL, 0))
    return fprintf(stderr, "CompileSFXpackage failed\n"), 1;
  int bank = ImportSFXpackage(bankPath);
  if (bank < 0) return fprintf(stderr, "ImportSFXpackage failed\n"), 1;
  if (SoundDbgInfo(bank)->soundCount != 0) return fprintf(stderr, "wrong sound count\n"), 1;
  if (AIL_render_offline(frames, 64) != 64) return fprintf(stderr, "no offline render\n"), 1;
  DiscardPackageSampleBits(bank);
  DiscardSFXpackage(bank);
  KSOUNDClose();
  puts("ok");
  return 0;
}
