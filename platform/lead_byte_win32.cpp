// Windows file names in the "A" calls are in the ANSI code page: its lead bytes are what
// IsDBCSLeadByte reports (none in single-byte code pages such as 1252).
#include "platform/lead_byte.h"

#include <windows.h>

namespace platform {

bool system_is_lead_byte(uint8_t byte) { return IsDBCSLeadByte(byte) != 0; }

} // namespace platform
