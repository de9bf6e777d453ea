// The file calls used by whole-file I/O: open with the sharing rules, size, rewind, read, write
// and close, and the replacement of a whole file through a temporary file. Windows makes the
// calls themselves (file_win32.cpp); elsewhere the sharing rules are emulated with advisory
// whole-file locks (file_posix.cpp).
#pragma once

#include <cstdint>
#include <string>

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

// A whole-file replacement: the new content goes to a temporary file in the target's directory,
// which is renamed over the target only once all of it is on disk, so a failed write leaves the
// old file (or no file) as it was. Meanwhile the target itself is held with no sharing: nobody
// can read it, and someone already reading it makes begin_replacement fail.
struct Replacement {
  File target;            // the final name, held exclusively
  File temp;              // where the content is written (write_file)
  bool createdTarget;     // the final name did not exist: it is held as an empty placeholder
  const char *targetName; // the caller's name, which outlives the replacement
  std::string tempName;
};

// Holds `name` for writing and creates a uniquely named temporary file beside it, with the
// target's permissions. False, with nothing changed on disk, when the name cannot be held (a
// missing directory, not a regular file, someone holding it) or no temporary can be created.
bool begin_replacement(const char *name, Replacement *out);

// Flushes the temporary to disk, closes it, renames it over the target and lets the target go.
// False when a step fails; the temporary is then removed and the target is as it was.
bool commit_replacement(Replacement *replacement);

// Removes the temporary and lets the target go (removing the placeholder begin created).
void abandon_replacement(Replacement *replacement);

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
