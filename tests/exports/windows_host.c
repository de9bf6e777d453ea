/* A Windows host written in C, as a game would be: <windows.h> first, then <ksnd32.h>. It links
 * the import library, loads KSND32.dll with LoadLibraryA, finds every export by name and by
 * ordinal, and drives the library through pointers typed from plain, unannotated prototypes, so
 * a calling convention other than the C default would show. The first start-up renders offline
 * (KSND_AUDIO=offline, set by the host itself) so that the sound can be checked; the second
 * searches the wave devices as a game's would.
 * One line per check, "ok ..." or "FAIL ...", then a count; the result is read from the lines. */
#include <windows.h>
/* the library's header after the system's, as a Windows host includes them */
#include <ksnd32.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int g_ok = 0;
static int g_failed = 0;

static void check(int passed, const char *what) {
  printf("%s %s\n", passed ? "ok" : "FAIL", what);
  if (passed)
    ++g_ok;
  else
    ++g_failed;
}

/* ---- The export table ---- */

typedef void (*AnyFunction)(void);
static HMODULE g_library;

/* Each export by name and by ordinal: both found, and the same address. */
static int resolve_exports(void) {
  static const struct {
    const char *name;
    WORD ordinal;
  } kExports[] = {
      {"KSOUNDInit", 1},
      {"KSOUNDClose", 2},
      {"IsSoundLoop", 10},
      {"SoundPtr", 11},
      {"SoundPlay", 12},
      {"SoundPlace", 13},
      {"SoundUpdate", 14},
      {"SoundStop", 15},
      {"SoundDup", 16},
      {"SoundDupKill", 17},
      {"SoundDupKillAll", 18},
      {"IsSoundPlaying", 19},
      {"SoundServe", 20},
      {"CompileSFXpackage", 21},
      {"ImportSFXpackage", 22},
      {"DiscardSFXpackage", 23},
      {"DiscardPackageSampleBits", 24},
      {"KSFX_SetupWAVsample", 31},
      {"KSFX_PlaySFX", 41},
      {"KSFX_StopSFX", 42},
      {"KSFX_UpdateSFX", 43},
      {"KSFX_GetChannel", 51},
      {"KSFX_SetEnvelope", 61},
      {"KSFX_SetEarPos", 62},
      {"KSFX_Play3DSFX", 63},
      {"KSFX_GetEarPos", 64},
      {"KSFX_FileRead", 70},
      {"KSFX_FileWrite", 71},
      {"VirtualizeFilePath", 80},
      {"SetVirtualFilePath", 81},
      {"SetVirtualFilePathCallBack", 82},
      {"KTUNE_InitTune", 90},
      {"KTUNE_StartTune", 91},
      {"KTUNE_StopTune", 92},
      {"KTUNE_ResumeTune", 93},
      {"KTUNE_SetRepeats", 94},
      {"KTUNE_CurrentlyPlaying", 95},
      {"KTUNE_Init", 96},
      {"KTUNE_ShutDown", 97},
      {"KTUNE_SetVolume", 98},
      {"KTUNE_SetTempo", 99},
      {"KTUNE_GetTempo", 100},
      {"SoundDbgInfo", 200},
  };
  char what[96];
  unsigned i;
  int all = 1;
  for (i = 0; i < sizeof kExports / sizeof kExports[0]; ++i) {
    FARPROC byName = GetProcAddress(g_library, kExports[i].name);
    FARPROC byOrdinal = GetProcAddress(g_library, MAKEINTRESOURCEA(kExports[i].ordinal));
    int agree = byName && byName == byOrdinal;
    snprintf(what, sizeof what, "export %s @%u by name and by ordinal", kExports[i].name,
             (unsigned)kExports[i].ordinal);
    check(agree, what);
    all = all && agree;
  }
  return all;
}

/* An export by name, as a plain function pointer to be cast to its prototype. */
static AnyFunction by_name(const char *name) {
  return (AnyFunction)GetProcAddress(g_library, name);
}

/* ---- Plain prototypes, as a host without our header would write them ---- */

typedef int32_t (*InitFn)(uint32_t, uint32_t);
typedef void (*VoidFn)(void);
typedef int32_t (*IntFn)(void);
typedef int32_t (*IntIntFn)(int32_t);
typedef int32_t (*HandleFn)(int32_t, int32_t);
typedef void (*StopFn)(int32_t, int32_t);
typedef int32_t (*PlaceFn)(int32_t, int32_t, int32_t, int32_t);
typedef SoundRecord *(*PtrFn)(int32_t, int32_t);
typedef Channel *(*ChannelFn)(uint32_t);
typedef int32_t (*CompileFn)(const char *, const SoundRecord *, const char *const *, uint16_t,
                             const SampleRecord *, const char *const *, uint16_t);
typedef int32_t (*ImportFn)(const char *);
typedef void (*PathFn)(const char *);
typedef int32_t (*VirtualCallback)(const char *);
typedef void (*CallbackFn)(VirtualCallback);
typedef void *(*ReadFn)(const char *, void *);
typedef int32_t (*WriteFn)(const char *, const void *, uint32_t);
typedef int32_t (*InitTuneFn)(const void *, int32_t);
typedef uint32_t (*RenderFn)(float *, uint32_t);

/* ---- Test data ---- */

static char g_dir[MAX_PATH];

static void put_le32(unsigned char *at, uint32_t value) {
  at[0] = (unsigned char)value;
  at[1] = (unsigned char)(value >> 8);
  at[2] = (unsigned char)(value >> 16);
  at[3] = (unsigned char)(value >> 24);
}

/* A mono 8-bit 11025 Hz WAV file of `bytes` samples of a square wave, in the test folder. */
static int write_wav(const char *name, uint32_t bytes) {
  static const unsigned char header[44] = {
      'R', 'I', 'F', 'F', 0, 0, 0,   0,   'W', 'A',  'V',  'E', 'f', 'm',  't',
      ' ', 16,  0,   0,   0, 1, 0,   1,   0,   0x11, 0x2B, 0,   0,   0x11, 0x2B,
      0,   0,   1,   0,   8, 0, 'd', 'a', 't', 'a',  0,    0,   0,   0};
  unsigned char image[44 + 4096];
  char path[MAX_PATH];
  uint32_t i;
  FILE *file;
  if (bytes > 4096) return 0;
  memcpy(image, header, sizeof header);
  put_le32(image + 4, 36 + bytes);
  put_le32(image + 40, bytes);
  for (i = 0; i < bytes; ++i) image[44 + i] = (unsigned char)((i / 25) % 2 ? 200 : 56);
  snprintf(path, sizeof path, "%s%s", g_dir, name);
  file = fopen(path, "wb");
  if (!file) return 0;
  i = (uint32_t)fwrite(image, 1, 44 + bytes, file);
  return fclose(file) == 0 && i == 44 + bytes;
}

/* One note, format 0, 96 ticks per quarter. */
static const unsigned char kTune[] = {'M', 'T', 'h', 'd',  0,   0,   0, 6,    0,    0,  0, 1,
                                      0,   96,  'M', 'T',  'r', 'k', 0, 0,    0,    12, 0, 0x90,
                                      60,  100, 96,  0x80, 60,  64,  0, 0xFF, 0x2F, 0};

/* The host's virtual-path callback, an ordinary C function: it points the library at the test
 * folder and asks it to try again. */
static int g_callbackCalls = 0;
static int32_t find_samples(const char *name) {
  (void)name;
  ++g_callbackCalls;
  ((PathFn)by_name("SetVirtualFilePath"))(g_dir);
  return 1;
}

static int make_test_folder(void) {
  char base[MAX_PATH];
  DWORD length = GetTempPathA(sizeof base, base);
  if (length == 0 || length >= sizeof base) return 0;
  snprintf(g_dir, sizeof g_dir, "%sksnd_host_%lu\\", base, (unsigned long)GetCurrentProcessId());
  return CreateDirectoryA(g_dir, NULL) || GetLastError() == ERROR_ALREADY_EXISTS;
}

static void remove_test_folder(void) {
  static const char *const kFiles[] = {"tone.wav", "zap.wav", "bank.kfx", "copy.bin"};
  char path[MAX_PATH];
  unsigned i;
  for (i = 0; i < sizeof kFiles / sizeof kFiles[0]; ++i) {
    snprintf(path, sizeof path, "%s%s", g_dir, kFiles[i]);
    DeleteFileA(path);
  }
  RemoveDirectoryA(g_dir);
}

/* A bank of three sounds whose samples are named where they no longer are: sound 0 a resumable
 * tone of priority 1, sound 1 a zap of priority 5, sound 2 the tone again, for placement. */
static int compile_bank(const char *path) {
  static const char *const kSampleNames[] = {"C:\\build\\sounds\\tone.wav",
                                             "C:\\build\\sounds\\zap.wav"};
  SampleRecord samples[2];
  SoundRecord sounds[3];
  int i;
  memset(samples, 0, sizeof samples);
  memset(sounds, 0, sizeof sounds);
  for (i = 0; i < 3; ++i) {
    sounds[i].id = i;
    sounds[i].rate = sounds[i].volume = sounds[i].pan = -1;
  }
  sounds[0].priority = 1;
  sounds[0].flags = KSFX_RESUME;
  sounds[1].priority = 5;
  sounds[1].sampleIndex = 1;
  sounds[2].priority = 1;
  return ((CompileFn)by_name("CompileSFXpackage"))(path, sounds, NULL, 3, samples, kSampleNames,
                                                   2) == 1;
}

/* ---- The sound, rendered offline by the audio library ---- */

/* The largest magnitude in the next `frames` frames (at most 4800) of the offline output, or -1
 * when the audio library renders nothing. */
static float rendered_peak(uint32_t frames) {
  static float block[2 * 4800];
  HMODULE audio = GetModuleHandleA("WAIL32.dll");
  RenderFn render =
      audio ? (RenderFn)(AnyFunction)GetProcAddress(audio, "AIL_render_offline") : NULL;
  float peak = 0.0f;
  uint32_t i;
  if (!render || frames > 4800 || render(block, frames) != frames) return -1.0f;
  for (i = 0; i < 2 * frames; ++i) {
    const float magnitude = block[i] < 0 ? -block[i] : block[i];
    if (magnitude > peak) peak = magnitude;
  }
  return peak;
}

/* ---- The run ---- */

static void play_a_bank(int32_t bank) {
  HandleFn play = (HandleFn)by_name("SoundPlay");
  HandleFn playing = (HandleFn)by_name("IsSoundPlaying");
  StopFn stop = (StopFn)by_name("SoundStop");
  PtrFn record = (PtrFn)by_name("SoundPtr");
  Channel *channel = ((ChannelFn)by_name("KSFX_GetChannel"))(0);
  SoundRecord *placed;

  check(play(bank, 0) == 1 && playing(bank, 0) == 1 && channel->current == record(bank, 0),
        "play: sound 0 takes the one channel");
  check(rendered_peak(2400) > 0.1f, "sound: the 50 ms rendered while sound 0 plays are not silent");
  check(play(bank, 1) == 1 && channel->current == record(bank, 1) &&
            channel->suspended == record(bank, 0) && playing(bank, 0) == 0,
        "steal: a higher priority displaces sound 0, which waits suspended");
  stop(bank, 1);
  check(channel->current == record(bank, 0) && channel->suspended == NULL &&
            playing(bank, 0) == 1 && playing(bank, 1) == 0,
        "resume: stopping the thief resumes sound 0 on its channel");
  stop(bank, 0);
  check(playing(bank, 0) == 0 && channel->current != record(bank, 0), "stop: the channel is free");
  rendered_peak(4800); /* the stop's short fade */
  check(rendered_peak(2400) == 0.0f, "sound: once it has stopped the output is silent");

  check(((PlaceFn)by_name("SoundPlace"))(bank, 2, 300, 0) == 1 && playing(bank, 2) == 1,
        "placement: a placed sound plays");
  placed = record(bank, 2);
  check(placed->x == 300 && placed->y == 0 && placed->pan > 64 && placed->volume < 127,
        "placement: to the listener's right it pans right and is quieter");
  stop(bank, 2);
}

static void play_a_tune(void) {
  static unsigned char tune[sizeof kTune];
  memcpy(tune, kTune, sizeof kTune);
  check(((InitTuneFn)by_name("KTUNE_InitTune"))(tune, 0) == 1, "tune: the MIDI data is bound");
  check(((IntFn)by_name("KTUNE_StartTune"))() == 1 &&
            ((IntFn)by_name("KTUNE_CurrentlyPlaying"))() == 1,
        "tune: it starts and plays");
  check(((IntIntFn)by_name("KTUNE_SetTempo"))(150) == 1 &&
            ((IntFn)by_name("KTUNE_GetTempo"))() == 150,
        "tune: its tempo is set and read back");
  check(((IntFn)by_name("KTUNE_StopTune"))() == 1 &&
            ((IntFn)by_name("KTUNE_CurrentlyPlaying"))() == 0,
        "tune: it stops");
}

static void read_and_write_a_file(void) {
  static const char kBytes[] = "KSND32 on Windows";
  char path[MAX_PATH];
  void *block;
  snprintf(path, sizeof path, "%scopy.bin", g_dir);
  check(((WriteFn)by_name("KSFX_FileWrite"))(path, kBytes, sizeof kBytes) == 1,
        "file: a whole file is written");
  block = ((ReadFn)by_name("KSFX_FileRead"))(path, NULL);
  check(block != NULL && GlobalSize(block) == sizeof kBytes &&
            memcmp(block, kBytes, sizeof kBytes) == 0,
        "file: it reads back whole into a block of its size");
  check(block != NULL && GlobalFree(block) == NULL, "file: the block is released with GlobalFree");
}

int main(void) {
  char bankPath[MAX_PATH];
  int32_t bank = -1;

  setvbuf(stdout, NULL, _IONBF, 0);
  g_library = LoadLibraryA("KSND32.dll");
  check(g_library != NULL, "LoadLibraryA loads KSND32.dll");
  check(KTUNE_StopTune() == 1 && KTUNE_ResumeTune() == 0,
        "calls through the import library answer before start-up");
  if (!g_library || !resolve_exports() || !make_test_folder()) {
    check(0, "set-up: exports resolved and a test folder made");
    printf("windows_host: %d ok, %d failed\n", g_ok, g_failed);
    return 1;
  }

  _putenv("KSND_AUDIO=offline");
  check(((InitFn)by_name("KSOUNDInit"))(1, 16) == 1, "start-up with one channel");
  snprintf(bankPath, sizeof bankPath, "%sbank.kfx", g_dir);
  check(write_wav("tone.wav", 4000) && write_wav("zap.wav", 1000) && compile_bank(bankPath),
        "a bank is compiled from records in memory");
  ((CallbackFn)by_name("SetVirtualFilePathCallBack"))(find_samples);
  bank = ((ImportFn)by_name("ImportSFXpackage"))(bankPath);
  check(bank >= 0 && g_callbackCalls == 1,
        "import: the samples are found through the virtual path the callback set");
  if (bank >= 0) {
    play_a_bank(bank);
    play_a_tune();
    check(((IntIntFn)by_name("DiscardPackageSampleBits"))(bank) == 1 &&
              ((IntIntFn)by_name("DiscardSFXpackage"))(bank) == 1 &&
              ((IntIntFn)by_name("DiscardSFXpackage"))(bank) == 0,
          "discard: the samples, then the bank; its slot is then empty");
  }
  read_and_write_a_file();
  ((VoidFn)by_name("KSOUNDClose"))();
  check(rendered_peak(240) == -1.0f, "close: nothing renders any more");
  _putenv("KSND_AUDIO=");
  check(((InitFn)by_name("KSOUNDInit"))(1, 16) == 1,
        "close, then start-up again on the first wave device the search finds");
  ((VoidFn)by_name("KSOUNDClose"))();

  remove_test_folder();
  FreeLibrary(g_library);
  printf("windows_host: %d ok, %d failed\n", g_ok, g_failed);
  return g_failed != 0;
}
