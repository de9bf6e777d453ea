// The MIDI driver's state, shared by the host-thread AIL_ functions (ail_midi.cpp) and the
// mixer's render hook (music_hook.cpp). There is one driver at a time, on one synthesiser.
#pragma once

#include "audio/midi/midi_file.h"
#include "audio/midi/sequencer.h"
#include "audio/midi/synth.h"

#include <cstdint>
#include <mutex>
#include <string>

// A sequence handle: one tune and where it stands. Every field is guarded by the driver lock.
struct wail_sequence {
  bool allocated;                // handed out by AIL_allocate_sequence_handle
  wail::midi::Tune tune;         // the bound data, parsed; replaced only by swapping
  wail::midi::Playback playback; // clock, loop count, tempo, playing flag
  int32_t volume;                // 0-127, scales the tune's controller 7 values
  uint8_t channel_volume[16];    // the tune's last controller 7 value per channel
};

// The MIDI driver handle; `open` is guarded by the driver lock.
struct wail_midi_driver {
  bool open;
};

namespace wail::midi {

constexpr int kSequenceHandles = 4;
// A tune's stop fades the synthesiser out over this many frames (10 ms at 48000 Hz).
constexpr uint32_t kStopFadeFrames = 480;
static_assert(kStopFadeFrames <= kSynthChunk, "a fade is rendered in one synthesiser call");

// Everything the MIDI side keeps. The render hook holds `lock` for one block's dispatch and
// synthesis; host calls hold it for field updates and synthesiser messages, never while
// parsing or starting a synthesiser.
struct DriverState {
  std::mutex lock;
  wail_midi_driver driver;                   // the one driver handle
  wail_sequence sequences[kSequenceHandles]; // handles point into here
  Synth *synth;                              // null when silent or before first use
  std::string source;                        // what it plays, chosen at open; empty = silently
  float fade[2 * kStopFadeFrames];           // the synthesiser's last moments before a silence
  uint32_t fadeLeft;                         // frames at the end of `fade` still to be mixed
  bool sounding;                             // the last block rendered was above -90 dBFS
};

DriverState &driver_state();

// Sends one of a sequence's events, scaling controller 7 by the sequence volume. Driver lock held.
void send_event(void *sequence, const Event &event);

// Re-sends every channel's controller 7 scaled by the sequence volume. Driver lock held.
void send_volumes(wail_sequence &sequence);

// Silences every note, letting what sounded fade out over kStopFadeFrames so it does not
// click. Driver lock held.
void fade_and_silence(DriverState &driver) noexcept;

} // namespace wail::midi
