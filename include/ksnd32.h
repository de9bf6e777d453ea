/* ksnd32.h: the public C API of KSND32, a sound-effects and music library for games.
 *
 * Glossary
 *   channel    a playback slot: one voice of the audio library plus the bookkeeping of which
 *              sound plays on it and which one waits there to be resumed.
 *   sound      a SoundRecord: what to play (a sample, rate, volume, pan, priority, position, or
 *              a list of other sounds) together with its playing state.
 *   sample     a SampleRecord: one WAV file's PCM data and its defaults.
 *   bank       a sound-bank file (RIFF form "KSFX") loaded into one of 32 package slots.
 *   handle     (bank number, sound number); sound numbers -2 and below name duplicates.
 *   listener   the ear: a position and a direction on the plane that placed sounds are heard from.
 *
 * Units: rates in Hz; volume 0-127 (default 100); pan 0 left, 64 centre, 127 right; -1 in a
 * record's rate, volume or pan means the sample's own value; positions are signed 16-bit plane
 * units; directions are 1/512 of a turn.
 *
 * Results: 1 done / 0 refused; -1 where 0 is a valid answer. Threads: every export may be called
 * from any one host thread at a time; effect operations and the end-of-sample callback of the
 * audio library are serialised by the audio library's lock, so they never interleave.
 *
 * Records: where pointers are 32 bits wide SoundRecord, SampleRecord and Channel are exactly
 * 60, 28 and 20 bytes (the bank file's layout); with wider pointers the reference fields widen
 * and the field order stays.
 */
#ifndef KSND32_H
#define KSND32_H

#include "wail32.h"

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Linkage and calling convention. On Windows the exports are dllexport inside KSND32.dll
 * (KSND_BUILDING), plain where the library is linked statically (KSND_STATIC) and dllimport for
 * hosts; every export and the virtual-path callback use __cdecl (KSND_CALL), the C default, so a
 * host built from these prototypes or from unannotated ones calls them alike. */
#if defined(_WIN32)
#if defined(KSND_BUILDING)
#define KSND_API __declspec(dllexport)
#elif defined(KSND_STATIC)
#define KSND_API
#else
#define KSND_API __declspec(dllimport)
#endif
#define KSND_CALL __cdecl
#else
#define KSND_API __attribute__((visibility("default")))
#define KSND_CALL
#endif

/* SoundRecord flags (16 bits; other bits are left alone). */
#define KSFX_RESUME 0x0001u /* suspended when displaced, resumed at its byte position */
#define KSFX_LOOP 0x0002u   /* repeats until stopped */
#define KSFX_GROUP 0x0004u  /* plays the records of `list` one after another */
#define KSFX_RANDOM 0x0008u /* with KSFX_GROUP: random element each time, never ends */
#define KSFX_3D 0x0010u     /* placed around the listener; re-placed when the listener moves */

/* SampleRecord flags. */
#define KSFX_SAMPLE_16BIT 0x0002u /* 16-bit (signed) samples */

struct Channel;

/* SampleRecord: one sample's PCM data and defaults; also the bank's "SMP " record.
 *   OFFSET SIZE FIELD    MEANING (offsets where pointers are 32-bit)
 *      0     4  data     first byte of the PCM data (body of the "data" chunk)
 *      4     4  image    the whole WAV image block, owned by the record once imported
 *      8     4  length   PCM bytes
 *     12     4  rate     Hz
 *     16     4  volume   default volume, 100 from a WAV image
 *     20     4  pan      default pan, 64 from a WAV image
 *     24     2  flags    KSFX_SAMPLE_16BIT
 *     26     2  format   0 mono 8-bit, 1 mono 16-bit, 2 stereo 8-bit, 3 stereo 16-bit */
typedef struct SampleRecord {
  uint8_t *data;
  void *image;
  uint32_t length;
  uint32_t rate;
  int32_t volume;
  int32_t pan;
  uint16_t flags;
  uint16_t format;
} SampleRecord;

/* SoundRecord: the unit of sound; also the bank's "SFX " record.
 *   OFFSET SIZE FIELD       MEANING (offsets where pointers are 32-bit)
 *      0     4  id          sound number; duplicates hold -2 - slot, a free slot -1
 *      4     4  priority    unsigned; only a strictly higher one displaces
 *      8     4  status      1 while playing on a channel
 *     12     4  sample      the SampleRecord played (bank file: its index)
 *     16     2  flags       KSFX_*
 *     18     2  reserved    never read or written by the library
 *     20     4  channel     the Channel it plays on while status is 1
 *     24     4  rate        Hz, -1 = the sample's
 *     28     4  volume      0-127, -1 = the sample's
 *     32     4  pan         0-127, -1 = the sample's
 *     36     2  x           plane position (written by placement)
 *     38     2  y
 *     40     4  baseVolume  volume at distance 0
 *     44     4  list        group elements, ended by a null entry
 *     48     4  listPos     the entry now playing
 *     52     4  listCount   entries in list (random picks divide by it)
 *     56     4  sampleIndex the sample's index in its bank */
typedef struct SoundRecord {
  int32_t id;
  uint32_t priority;
  uint32_t status;
  SampleRecord *sample;
  uint16_t flags;
  uint16_t reserved;
  struct Channel *channel;
  int32_t rate;
  int32_t volume;
  int32_t pan;
  int16_t x;
  int16_t y;
  uint32_t baseVolume;
  struct SoundRecord **list;
  struct SoundRecord **listPos;
  uint32_t listCount;
  uint32_t sampleIndex;
} SoundRecord;

/* Channel: one entry of the channel table (KSFX_GetChannel).
 *   OFFSET SIZE FIELD        MEANING (offsets where pointers are 32-bit)
 *      0     4  driver       the digital driver (same in every entry)
 *      4     4  handle       this channel's sample handle
 *      8     4  current      the record playing here; the idle record when free
 *     12     4  suspended    the record waiting to resume here, 0 when none
 *     16     4  suspendedPos its byte position when it was suspended */
typedef struct Channel {
  HDIGDRIVER driver;
  HSAMPLE handle;
  SoundRecord *current;
  SoundRecord *suspended;
  uint32_t suspendedPos;
} Channel;

/* The block SoundDbgInfo returns: a bank's table entry, for diagnostics. */
typedef struct SoundDebugInfo {
  uint32_t soundCount;
  uint32_t sampleCount;
  SoundRecord *sounds;
  SampleRecord *samples;
  SoundRecord *idleRecord; /* the record free channels point at */
  char *sampleNames;       /* the "NAME" body: sample file names, one after another */
  char *soundIds;          /* the "SFID" body (sound names), 0 when the bank has none */
} SoundDebugInfo;

/* Host callback for unresolved sample names: non-zero asks the resolver to try the virtual
 * path again (the callback may have set a new one), 0 gives up. */
typedef int32_t(KSND_CALL *KSFX_VPATHCALLBACK)(const char *name);

/* ---- Start-up and service ---- */

/* Starts the library: audio library, music, `channels` effect channels (low 16 bits) and a
 * duplicate pool of 16-256 slots (low 16 bits of `duplicates`). 1 = up, 0 = refused/failed. */
KSND_API int32_t KSND_CALL KSOUNDInit(uint32_t channels, uint32_t duplicates);
/* Shuts the library down. Discard banks before. No-op when not started. */
KSND_API void KSND_CALL KSOUNDClose(void);
/* Gives the audio library its periodic service; no-op when not started. */
KSND_API void KSND_CALL SoundServe(void);

/* ---- Handle API ---- */

/* Address of the record (bank, sound); 0 when refused. */
KSND_API SoundRecord *KSND_CALL SoundPtr(int32_t bank, int32_t sound);
/* Plays (bank, sound): 1 = a channel was chosen, 0 = refused. */
KSND_API int32_t KSND_CALL SoundPlay(int32_t bank, int32_t sound);
/* Places (bank, sound) at (x, y), low 16 bits each, and plays or updates it. */
KSND_API int32_t KSND_CALL SoundPlace(int32_t bank, int32_t sound, int32_t x, int32_t y);
/* Sets rate, volume, pan (-1 = the sample's); 1 when playing and applied. */
KSND_API int32_t KSND_CALL SoundUpdate(int32_t bank, int32_t sound, int32_t rate, int32_t volume,
                                       int32_t pan);
/* Stops (bank, sound). */
KSND_API void KSND_CALL SoundStop(int32_t bank, int32_t sound);
/* A copy of a playing sound: its duplicate number (-2 - slot), the sound's own number when it
 * is not playing, or -1 when no copy can be made. */
KSND_API int32_t KSND_CALL SoundDup(int32_t bank, int32_t sound);
/* Stops a duplicate and frees its slot: 1 done, 0 refused. */
KSND_API int32_t KSND_CALL SoundDupKill(int32_t bank, int32_t sound);
/* Stops every copy made from the same sound number as duplicate `sound`: 1 done, 0 refused. */
KSND_API int32_t KSND_CALL SoundDupKillAll(int32_t bank, int32_t sound);
/* 1 while (bank, sound) plays. */
KSND_API int32_t KSND_CALL IsSoundPlaying(int32_t bank, int32_t sound);
/* 1 when (bank, sound) loops or is a group. */
KSND_API int32_t KSND_CALL IsSoundLoop(int32_t bank, int32_t sound);
/* The bank's table entry in a static block rewritten by every call. */
KSND_API SoundDebugInfo *KSND_CALL SoundDbgInfo(int32_t bank);

/* ---- Banks ---- */

/* Writes a bank file from n records and m samples; soundNames may be null (no names).
 * 1 = written, 0 = failed. */
KSND_API int32_t KSND_CALL CompileSFXpackage(const char *fileName, const SoundRecord *records,
                                             const char *const *soundNames, uint16_t n,
                                             const SampleRecord *samples,
                                             const char *const *sampleNames, uint16_t m);
/* Loads a bank and its samples into the lowest free slot: the bank number 0-31, or -1. */
KSND_API int32_t KSND_CALL ImportSFXpackage(const char *fileName);
/* Releases a bank's image and empties its slot: 1 done, 0 refused. */
KSND_API int32_t KSND_CALL DiscardSFXpackage(int32_t bank);
/* Releases a bank's sample data (call before DiscardSFXpackage): 1 done, 0 empty slot. */
KSND_API int32_t KSND_CALL DiscardPackageSampleBits(int32_t bank);

/* ---- Effects ---- */

/* Fills `sample` from a RIFF WAVE image in memory (pointing into it). 1 = done, 0 when the
 * image has no "fmt " or "data" chunk inside the length its RIFF header states. */
KSND_API int32_t KSND_CALL KSFX_SetupWAVsample(SampleRecord *sample, void *image);
/* Plays a record: 1 = a channel was chosen, 0 = refused. */
KSND_API int32_t KSND_CALL KSFX_PlaySFX(SoundRecord *record);
/* Stops a playing record (a group ends instead of moving on). */
KSND_API void KSND_CALL KSFX_StopSFX(SoundRecord *record);
/* Stores rate, volume, pan (-1 = the sample's); 1 when playing and applied to its channel. */
KSND_API int32_t KSND_CALL KSFX_UpdateSFX(SoundRecord *record, int32_t rate, int32_t volume,
                                          int32_t pan);
/* Address of channel table entry `index` (low 16 bits); 0 when the index is out of range or
 * the library is not started. */
KSND_API Channel *KSND_CALL KSFX_GetChannel(uint32_t index);

/* ---- Listener and placement ---- */

/* Volume falls by 1/127 of the base volume per `envelope` units of distance. */
KSND_API void KSND_CALL KSFX_SetEnvelope(int16_t envelope);
/* Moves the listener and re-places playing and suspended placed sounds. */
KSND_API void KSND_CALL KSFX_SetEarPos(int16_t x, int16_t y, int16_t direction);
/* Places a record at (x, y) and plays or updates it: 1 done, 0 failed. */
KSND_API int32_t KSND_CALL KSFX_Play3DSFX(SoundRecord *record, int16_t x, int16_t y);
/* Reads the listener; each pointer may be null. */
KSND_API void KSND_CALL KSFX_GetEarPos(int16_t *x, int16_t *y, int16_t *direction);

/* ---- Files ---- */

/* Reads a whole file into `buffer`, or into a new zero-filled block of the file's size when
 * `buffer` is null (release it with GlobalFree). The data pointer, or null on failure. */
KSND_API void *KSND_CALL KSFX_FileRead(const char *fileName, void *buffer);
/* Writes `length` bytes, replacing an existing file: 1 done, 0 failed. */
KSND_API int32_t KSND_CALL KSFX_FileWrite(const char *fileName, const void *data, uint32_t length);
/* Resolves a sample file name into `out` (260 bytes): 1 when `out` names an existing file. */
KSND_API int32_t KSND_CALL VirtualizeFilePath(const char *name, char *out);
/* Sets the directory prefix tried for names that do not exist; null or "" is ignored. */
KSND_API void KSND_CALL SetVirtualFilePath(const char *path);
/* Sets the callback for unresolved names; null is ignored. */
KSND_API void KSND_CALL SetVirtualFilePathCallBack(KSFX_VPATHCALLBACK callback);

#if !defined(_WIN32)
/* Releases a block that KSFX_FileRead allocated, as Windows' GlobalFree does: null on success,
 * the block itself on failure. On Windows the blocks are the system's, and kernel32's
 * GlobalFree (<windows.h>) releases them. */
KSND_API void *GlobalFree(void *block);
#endif

/* ---- Music: one MIDI tune at a time ---- */

/* Binds the host's MIDI data (kept by the host) and selects sequence `sequence`: 1 bound. */
KSND_API int32_t KSND_CALL KTUNE_InitTune(const void *data, int32_t sequence);
KSND_API int32_t KSND_CALL KTUNE_StartTune(void);  /* 1 started */
KSND_API int32_t KSND_CALL KTUNE_StopTune(void);   /* 1 stopped (or music not started) */
KSND_API int32_t KSND_CALL KTUNE_ResumeTune(void); /* 1 resumed */
/* Plays: 0 = forever, 1 = once, n = n times. */
KSND_API int32_t KSND_CALL KTUNE_SetRepeats(int32_t count);
KSND_API int32_t KSND_CALL KTUNE_CurrentlyPlaying(void); /* 1 while the tune plays */
KSND_API int32_t KSND_CALL KTUNE_Init(void);             /* 1 when the music system is ready */
KSND_API int32_t KSND_CALL KTUNE_ShutDown(void);         /* always 1 */
/* 0-127 scales the tune's channel volumes. */
KSND_API int32_t KSND_CALL KTUNE_SetVolume(int32_t volume);
/* Percent of the tune's own tempo (100 as written). */
KSND_API int32_t KSND_CALL KTUNE_SetTempo(int32_t tempo);
KSND_API int32_t KSND_CALL KTUNE_GetTempo(void); /* the tempo; 0 when no tune is bound */

#ifdef __cplusplus
}
#endif

#endif /* KSND32_H */
