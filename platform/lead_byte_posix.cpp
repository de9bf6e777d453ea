// POSIX file names are UTF-8 (or single-byte): no byte of a multi-byte sequence is below 0x80,
// so no sequence hides a separator or a dot and no byte needs to be read as a lead byte.
#include "platform/lead_byte.h"

namespace platform {

bool system_is_lead_byte(uint8_t) { return false; }

} // namespace platform
