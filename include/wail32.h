/* wail32.h: the audio library's interface as KSND32 sees it.
 *
 * Glossary: a "digital driver" is an open wave output; a "sample handle" is one voice of it;
 * a "MIDI driver" is an open MIDI output; a "sequence handle" plays one MIDI tune.
 * Handles are opaque. Every function has C linkage. The library that provides these names
 * (libwail32, or the recording fake in the tests) also provides the three Windows multimedia
 * queries below, describing the outputs it can open.
 *
 * Threads: any host thread may call these; the end-of-sample callback runs either on the
 * library's own mixer thread (a sample that ended by itself) or on the caller's thread inside
 * AIL_end_sample. Both hold AIL_lock() while the callback runs.
 */
#ifndef WAIL32_H
#define WAIL32_H

#include <stdint.h>

/* Linkage. On Windows the functions are dllexport inside WAIL32.dll (WAIL_BUILDING), plain for
 * code that links either WAIL32's import library or a static stand-in (WAIL_STATIC), and
 * dllimport for hosts. A host takes the wave records and constants from the system's
 * <windows.h> and <mmsystem.h> (the same layouts), so it may include the two in either order;
 * the device queries it sees there are winmm's, and it reaches this library's device list
 * through KSND32. Every function and the callback use the C default convention, __cdecl. Our
 * own sources that include <windows.h> after this header define WIN32_LEAN_AND_MEAN. */
#if defined(_WIN32)
#if defined(WAIL_BUILDING)
#define WAIL_API __declspec(dllexport)
#elif defined(WAIL_STATIC)
#define WAIL_API
#else
#define WAIL_API __declspec(dllimport)
#include <windows.h>
/* after <windows.h>, whose types it uses */
#include <mmsystem.h>
#endif
#else
#define WAIL_API __attribute__((visibility("default")))
#endif

/* True where the system's multimedia header already declares the wave or MIDI side. */
#if defined(_INC_MMSYSTEM) && !defined(MMNOWAVE)
#define WAIL_SYSTEM_WAVE 1
#endif
#if defined(_INC_MMSYSTEM) && !defined(MMNOMIDI)
#define WAIL_SYSTEM_MIDI 1
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct wail_digital_driver *HDIGDRIVER; /* open wave output */
typedef struct wail_sample *HSAMPLE;            /* one voice of a digital driver */
typedef struct wail_midi_driver *HMDIDRIVER;    /* open MIDI output */
typedef struct wail_sequence *HSEQUENCE;        /* one MIDI tune player */

/* Called once for each start of a sample that ends, with that sample's handle. */
typedef void (*AILSAMPLECB)(HSAMPLE sample);

/* Status values of AIL_sample_status and AIL_sequence_status. */
#define SMP_FREE 1    /* handle not allocated */
#define SMP_DONE 2    /* allocated, not playing: never started, ended or halted */
#define SMP_PLAYING 4 /* playing */
#define SEQ_FREE 1
#define SEQ_DONE 2
#define SEQ_PLAYING 4

/* Sample formats for AIL_set_sample_type (mono/stereo x 8/16-bit) and its flags. */
#define DIG_F_MONO_8 0
#define DIG_F_MONO_16 1
#define DIG_F_STEREO_8 2
#define DIG_F_STEREO_16 3
#define DIG_PCM_SIGNED 0x0001

#if !defined(WAIL_SYSTEM_WAVE)
/* Windows PCM wave format, 16 bytes. */
typedef struct PCMWAVEFORMAT {
  uint16_t wFormatTag; /* 1 = PCM */
  uint16_t nChannels;
  uint32_t nSamplesPerSec;
  uint32_t nAvgBytesPerSec;
  uint16_t nBlockAlign;
  uint16_t wBitsPerSample;
} PCMWAVEFORMAT;

/* Windows wave-out capabilities record, 52 bytes. Bit i of dwFormats stands for
 * 11025 * 2^(i / 4) Hz, stereo when i % 4 is 1 or 3, 16-bit when i % 4 is 2 or 3. */
typedef struct WAVEOUTCAPSA {
  uint16_t wMid;
  uint16_t wPid;
  uint32_t vDriverVersion;
  char szPname[32];
  uint32_t dwFormats;
  uint16_t wChannels;
  uint16_t wReserved1;
  uint32_t dwSupport;
} WAVEOUTCAPSA;

#define WAVE_FORMAT_1M08 0x00000001u
#define WAVE_FORMAT_1S08 0x00000002u
#define WAVE_FORMAT_1M16 0x00000004u
#define WAVE_FORMAT_1S16 0x00000008u
#define WAVE_FORMAT_2M08 0x00000010u
#define WAVE_FORMAT_2S08 0x00000020u
#define WAVE_FORMAT_2M16 0x00000040u
#define WAVE_FORMAT_2S16 0x00000080u
#define WAVE_FORMAT_4M08 0x00000100u
#define WAVE_FORMAT_4S08 0x00000200u
#define WAVE_FORMAT_4M16 0x00000400u
#define WAVE_FORMAT_4S16 0x00000800u

/* ---- Windows multimedia queries ---- */
WAIL_API uint32_t waveOutGetNumDevs(void);
/* Fills *caps (size bytes, 52 expected) for device; returns 0 on success. */
WAIL_API uint32_t waveOutGetDevCapsA(uintptr_t device, WAVEOUTCAPSA *caps, uint32_t size);
#endif
#if !defined(WAIL_SYSTEM_MIDI)
WAIL_API uint32_t midiOutGetNumDevs(void);
#endif

/* ---- Library ---- */
WAIL_API void AIL_startup(void);
/* Releases both drivers and every handle; no callback runs after it returns. */
WAIL_API void AIL_shutdown(void);
/* Periodic service from the host's thread. */
WAIL_API void AIL_serve(void);
/* A text describing the last failure; owned by the library. */
WAIL_API const char *AIL_last_error(void);

/* Recursive lock of the library. The engine holds it around every effect operation; the
 * library holds it while it delivers an end-of-sample callback from its own thread. */
WAIL_API void AIL_lock(void);
WAIL_API void AIL_unlock(void);

/* ---- Digital side ---- */
/* Opens wave device `device` with `format`; 0 = opened, *driver set. waveOut must be 0. */
WAIL_API int32_t AIL_waveOutOpen(HDIGDRIVER *driver, void *waveOut, int32_t device,
                                 const PCMWAVEFORMAT *format);
/* A new voice of the driver, 0 when none is left. */
WAIL_API HSAMPLE AIL_allocate_sample_handle(HDIGDRIVER driver);
/* Registers the end-of-sample callback; returns the previous one. */
WAIL_API AILSAMPLECB AIL_register_EOS_callback(HSAMPLE sample, AILSAMPLECB callback);
/* Two user-data slots per handle (index 0 or 1). */
WAIL_API void AIL_set_sample_user_data(HSAMPLE sample, uint32_t index, intptr_t value);
WAIL_API intptr_t AIL_sample_user_data(HSAMPLE sample, uint32_t index);
/* PCM data and its length in bytes; the play position goes back to 0. */
WAIL_API void AIL_set_sample_address(HSAMPLE sample, const void *start, uint32_t length);
/* format DIG_F_*, flags DIG_PCM_SIGNED for signed samples. */
WAIL_API void AIL_set_sample_type(HSAMPLE sample, int32_t format, uint32_t flags);
/* 0 = until stopped, 1 = once, n = n plays. */
WAIL_API void AIL_set_sample_loop_count(HSAMPLE sample, int32_t count);
WAIL_API void AIL_set_sample_playback_rate(HSAMPLE sample, int32_t rate); /* Hz */
WAIL_API void AIL_set_sample_volume(HSAMPLE sample, int32_t volume);      /* 0-127 */
WAIL_API void AIL_set_sample_pan(HSAMPLE sample, int32_t pan);            /* 0-127, 64 centre */
/* Starts at the set position, also after AIL_stop_sample. */
WAIL_API void AIL_start_sample(HSAMPLE sample);
/* Halts without a callback; the position is kept. */
WAIL_API void AIL_stop_sample(HSAMPLE sample);
/* Ends the sample and runs its callback on the caller's thread before returning. */
WAIL_API void AIL_end_sample(HSAMPLE sample);
WAIL_API uint32_t AIL_sample_status(HSAMPLE sample);
/* Byte offset into the PCM data; a value read back continues play when set again. */
WAIL_API uint32_t AIL_sample_position(HSAMPLE sample);
WAIL_API void AIL_set_sample_position(HSAMPLE sample, uint32_t position);

/* ---- MIDI side ---- */
/* Opens MIDI device `device` (-1 = the mapper); 0 = opened. midiOut must be 0. */
WAIL_API int32_t AIL_midiOutOpen(HMDIDRIVER *driver, void *midiOut, int32_t device);
WAIL_API void AIL_midiOutClose(HMDIDRIVER driver);
WAIL_API HSEQUENCE AIL_allocate_sequence_handle(HMDIDRIVER driver);
/* Binds MIDI data (kept by the caller) and selects sequence `number`; non-zero = accepted. */
WAIL_API int32_t AIL_init_sequence(HSEQUENCE sequence, const void *data, int32_t number);
WAIL_API void AIL_start_sequence(HSEQUENCE sequence);
WAIL_API void AIL_stop_sequence(HSEQUENCE sequence);
WAIL_API void AIL_resume_sequence(HSEQUENCE sequence);
WAIL_API void AIL_set_sequence_loop_count(HSEQUENCE sequence, int32_t count);
WAIL_API uint32_t AIL_sequence_status(HSEQUENCE sequence);
WAIL_API void AIL_set_sequence_volume(HSEQUENCE sequence, int32_t volume, int32_t ms);
WAIL_API void AIL_set_sequence_tempo(HSEQUENCE sequence, int32_t tempo, int32_t ms);
WAIL_API int32_t AIL_sequence_tempo(HSEQUENCE sequence);

/* ---- Extensions of this library ---- */
/* Closes a digital driver that AIL_waveOutOpen opened and releases its sample handles; no
 * callback runs after it returns. Lets a start-up that fails after opening the driver retry. */
WAIL_API void AIL_waveOutClose(HDIGDRIVER driver);
/* AIL_init_sequence for data whose size is known: the parse never reads past `bytes`. */
WAIL_API int32_t AIL_init_sequence_bounded(HSEQUENCE sequence, const void *data, uint32_t bytes,
                                           int32_t number);
/* How every voice is resampled to the output rate: band-limited (the default) or linear
 * interpolation (faster, with audible images for low-rate sources). KSND_RESAMPLER=sinc|linear
 * chooses at load. Returns the mode that was in force. */
#define AIL_RESAMPLE_LINEAR 0
#define AIL_RESAMPLE_SINC 1
WAIL_API int32_t AIL_set_resampling(int32_t mode);
/* Master volume of the whole mix, effects and music, 0-127 (127, the default, is unity gain);
 * applied before the limiter, ramped so it never clicks. */
WAIL_API void AIL_set_master_volume(int32_t volume);
WAIL_API int32_t AIL_master_volume(void);
/* 1 while the MIDI synthesiser still sounds: its last rendered block was above -90 dBFS, or a
 * stopped tune is still fading out; 0 once it is silent. A tune's release tails outlast its
 * last event: a host that renders a tune to a file renders on until this reads 0. */
WAIL_API int32_t AIL_synth_sounding(void);
/* Underruns since the digital driver opened: times the output found fewer finished frames than
 * it had to play. A sound card or the null output plays silence in their place; the WAV output
 * leaves them out, so its file holds the mix without gaps. Always 0 offline. */
WAIL_API uint32_t AIL_output_underruns(void);
/* Frames by which the master stage's look-ahead puts the output behind the calls that shape it
 * (95 at 48000 Hz); 0 before a driver opens. A host rendering offline to a file drops that many
 * frames at the start and renders as many more at the end, and its file lines up with its calls
 * to the frame. */
WAIL_API uint32_t AIL_output_delay(void);

/* ---- Offline rendering (extension) ----
 * With KSND_AUDIO=offline nothing advances until the host renders. AIL_render_offline mixes
 * `frames` stereo frames as interleaved floats into `out` on the caller's thread and delivers
 * the end-of-sample callbacks of samples that ended within them, in order, before returning.
 * The frames have passed the same master stage as real-time output (headroom, then a limiter
 * that keeps every sample below full scale); its look-ahead puts the output AIL_output_delay()
 * frames (2 ms) behind the calls that shape it.
 * Returns the number of frames rendered: `frames` in offline mode, 0 otherwise. */
WAIL_API uint32_t AIL_render_offline(float *out, uint32_t frames);
/* The output's rate in frames per second (48000 unless configured); 0 before a driver opens. */
WAIL_API uint32_t AIL_output_rate(void);

#ifdef __cplusplus
}
#endif

#endif /* WAIL32_H */
