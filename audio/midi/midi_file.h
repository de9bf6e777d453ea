// MIDI data in the audio library: Standard MIDI Files (formats 0, 1 and 2) and the IFF-based
// extended format (XMIDI), both turned into one time-ordered list of channel messages.
//
// Bounds: every read lies below `limit`. AIL_init_sequence_bounded passes the size it is given
// (the engine passes the size of a KSFX_FileRead block), so cut or lying data is refused without
// a read past it. AIL_init_sequence gives no size (SIZE_MAX): then the data is bounded only by
// its own container, the SMF header's track count and the track chunk lengths, or the IFF
// FORM/CAT lengths, and the caller must hand over data that holds what they claim.
//
// Choices: system exclusive and meta events other than tempo and end of track are checked and
// dropped; every note-off is stored as 0x8n key 0 (the synthesiser ignores release velocity);
// tunes whose tick count reaches 2^32 are refused as malformed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace wail::midi {

// One channel message (status 0x80-0xEF) at its time in microseconds at tempo 100%.
struct Event {
  uint64_t time_us;
  uint8_t status;
  uint8_t data1;
  uint8_t data2; // 0 for the one-byte messages (0xCn, 0xDn)
};

// A parsed sequence: events sorted by time, and the length of one play (the end-of-track time,
// or a later scheduled note-off), never less than the last event's time.
struct Tune {
  std::vector<Event> events;
  uint64_t length_us = 0;
};

// Parses sequence `number` of the data at `data` into `out`. Returns false, leaving `out`
// unspecified, for anything malformed or a number the data does not hold.
bool parse_tune(const uint8_t *data, size_t limit, int32_t number, Tune &out);

} // namespace wail::midi
