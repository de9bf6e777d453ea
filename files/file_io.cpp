// Whole-file read and write: one file moved to or from one block of memory per call. Names are
// used exactly as passed; the functions keep no state between calls.
//
// Choices: a file of 4 GiB or more does not fit the 32-bit size and is refused (null, nothing
// allocated). A null name, or null data with a non-zero length, is refused before any file is
// opened, so nothing on disk changes. A write goes to a temporary file beside the target, which
// replaces the target only once the whole write is on disk: a failed write (a full disk, say)
// returns 0 and leaves the old file, or no file, as it was, where the text lets a failed write
// leave whatever part was written. The sharing rules stay on the target's name: a file being read
// cannot be written (the write fails before anything changes), and one being written cannot be
// read.
#include "exports/boundary.h"
#include "ksnd32.h"
#include "platform/file.h"
#include "platform/memory.h"

#include <cstdint>

namespace {

// Reads the open file whole into `buffer`, or into a new block when `buffer` is null. Closes the
// file in every case; releases only a block it allocated itself.
void *read_open_file(platform::File file, void *buffer) {
  uint64_t size = 0;
  if (!platform::file_size(file, &size) || size > UINT32_MAX) {
    platform::close_file(file);
    return nullptr;
  }
  void *block = buffer ? buffer : platform::global_alloc((std::size_t)size);
  if (!block) {
    platform::close_file(file);
    return nullptr;
  }
  uint32_t done = 0;
  bool ok = platform::rewind_file(file) &&
            platform::read_file(file, block, (uint32_t)size, &done) && done == (uint32_t)size;
  ok = platform::close_file(file) && ok;
  if (ok) return block;
  if (!buffer) platform::global_free(block);
  return nullptr;
}

void *read_whole(const char *fileName, void *buffer) {
  platform::File file = platform::open_shared_read(fileName);
  if (!file.valid()) return nullptr;
  return read_open_file(file, buffer);
}

int32_t write_whole(const char *fileName, const void *data, uint32_t length) {
  platform::Replacement replacement;
  if (!platform::begin_replacement(fileName, &replacement)) return 0;
  uint32_t written = 0;
  bool complete =
      platform::write_file(replacement.temp, data, length, &written) && written == length;
  // A short write that the system reports no error for is taken as complete.
  if (!complete && platform::last_file_error() != 0) {
    platform::abandon_replacement(&replacement);
    return 0;
  }
  return platform::commit_replacement(&replacement) ? 1 : 0;
}

} // namespace

extern "C" {

void *KSFX_FileRead(const char *fileName, void *buffer) {
  if (!fileName) return nullptr;
  return exports::guarded<void *>(nullptr, [&] { return read_whole(fileName, buffer); });
}

int32_t KSFX_FileWrite(const char *fileName, const void *data, uint32_t length) {
  if (!fileName || (!data && length != 0)) return 0;
  return exports::guarded(0, [&] { return write_whole(fileName, data, length); });
}

} // extern "C"
