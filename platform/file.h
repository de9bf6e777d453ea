// The file calls used by whole-file I/O: open with the sharing rules, size, rewind, read, write
// and close. Windows makes the calls themselves (file_win32.cpp); elsewhere the sharing rules
// are emulated with advisory whole-file locks (file_posix.cpp).
#pragma once

#include <cstdint>

namespace platform {

// An open file; fd is -1 when the open failed. On Windows it holds the kernel handle, which
// the system keeps within 32 bits.
struct File {
  int fd;
  bool valid() const { return fd >= 0; }
};

// Opens an existing regular file for reading, sharing it with other readers only: fails when
// the name is missing, is not a regular file, or someone holds it for writing.
File open_shared_read(const char *name);

// Opens a regular file for writing with no sharing, creating it or truncating it to 0 bytes
// once nobody else holds it: fails (leaving an existing file untouched) when anyone does.
File create_exclusive_write(const char *name);

// The file's size in bytes; false when the query failed.
bool file_size(File file, uint64_t *size);

// Moves the file position to the first byte; false on failure.
bool rewind_file(File file);

// Transfers `bytes` bytes, retrying partial transfers; *done receives the count moved. False
// when the system reported an error (see last_file_error).
bool read_file(File file, void *buffer, uint32_t bytes, uint32_t *done);
bool write_file(File file, const void *data, uint32_t bytes, uint32_t *done);

// Closes the file and releases its lock; false when the close failed.
bool close_file(File file);

// The file-status query: true for an existing file or directory. Never true for a name holding
// the wildcards "?" or "*", nor for a bare drive letter with its colon ("C:").
bool name_exists(const char *name);

// The system error code of the last failed call here, 0 after a call that succeeded.
uint32_t last_file_error();

} // namespace platform
