// The sequencer's clock and event scheduling for one tune, driven by the mixer's sample clock.
// Pure: no synthesiser, no locks; the MIDI driver calls it under its own lock.
//
// Semantics: loop count 0 plays forever, 1 once, n n times, each play starting exactly where
// the last ended (a tune shorter than 10 ms plays once); negative counts play once. Tempo is a
// percentage of the tune's own tempo, clamped to 0-1000 (0 holds the tune where it is).
#pragma once

#include "audio/midi/midi_file.h"

#include <cstddef>
#include <cstdint>

namespace wail::midi {

constexpr int32_t kMaxTempo = 1000;

// Where a tune stands. Time is microseconds of the tune at tempo 100% plus a remainder in
// units of 1 / (100 x rate) microseconds, so that advancing is exact for any block split.
struct Playback {
  const Tune *tune = nullptr;
  uint64_t pos_us = 0;
  uint64_t pos_rem = 0;
  uint32_t rate = 0; // the sample rate the remainder is counted in
  size_t next = 0;   // index of the next event to send
  uint32_t plays_done = 0;
  int32_t loop_count = 1;
  int32_t tempo = 100;
  bool playing = false;
};

// Sends one event to the synthesiser.
using EventSender = void (*)(void *context, const Event &event);

// Back to the start of the first play (not playing until the caller says so).
void rewind(Playback &p);

// Sets the tempo, clamped to 0-kMaxTempo; takes effect from the current position.
void set_tempo(Playback &p, int32_t percent);

// Frames from now until the next event or end of play is due, at most `limit`.
uint32_t frames_until_due(const Playback &p, uint32_t rate, uint32_t limit);

// Moves the clock `frames` forward at `rate` frames per second.
void advance(Playback &p, uint32_t frames, uint32_t rate);

// Sends every event due at the current position, loops at the end of a play while plays
// remain, and stops playing once the last event of the last play is sent.
void dispatch_due(Playback &p, EventSender send, void *context);

} // namespace wail::midi
