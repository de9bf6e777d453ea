// Double-byte character sets in file names: whether a byte opens a two-byte character, so that
// name splitting never takes a character's second byte for a separator or a dot.
#pragma once

#include <cstdint>

namespace platform {

// True when `byte` is the first byte of a two-byte character in the code page that file names
// use (Windows: the ANSI code page, as IsDBCSLeadByte answers; POSIX: never, since UTF-8 never
// puts a byte below 0x80 inside a multi-byte sequence).
bool is_lead_byte(uint8_t byte);

// The system's own answer, without the test rule (one per platform: lead_byte_posix.cpp, ...).
bool system_is_lead_byte(uint8_t byte);

// Test seam: answers with `rule` instead of the system (null restores the system's answer).
using LeadByteRule = bool (*)(uint8_t byte);
void set_lead_byte_rule(LeadByteRule rule);

} // namespace platform
