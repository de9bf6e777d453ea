// The file calls on Windows, with the access, sharing, disposition and attribute flags of the
// whole-file functions: reading shares the file with readers only, writing with nobody. A File
// holds the kernel handle, which Windows keeps within 32 bits.
//
// Choices: only disk files open (a device name such as "CON" would block or write elsewhere,
// and the POSIX side refuses non-regular files alike); the size query asks for the high half
// too, so that a file of 4 GiB or more is refused rather than read short.
#include "platform/file.h"

#include <cstring>
#include <windows.h>

namespace platform {
namespace {

constexpr DWORD kReadOnlyAccess = 0x80000000;  // GENERIC_READ
constexpr DWORD kWriteOnlyAccess = 0x40000000; // GENERIC_WRITE
constexpr DWORD kShareWithReaders = 1;         // FILE_SHARE_READ
constexpr DWORD kShareWithNobody = 0;
constexpr DWORD kOpenExisting = 3;                 // OPEN_EXISTING
constexpr DWORD kCreateAlways = 2;                 // CREATE_ALWAYS: create, or truncate
constexpr DWORD kNormalSequentialScan = 0x8000080; // FILE_ATTRIBUTE_NORMAL | SEQUENTIAL_SCAN

// Per-thread error code, as the system's last-error value is per thread.
struct FileErrorState {
  uint32_t lastError; // GetLastError of the last failed call here, 0 after a success
};
thread_local FileErrorState t_files = {0};

bool succeed() {
  t_files.lastError = 0;
  return true;
}

bool fail_with_last_error() {
  DWORD error = GetLastError();
  t_files.lastError = error ? error : ERROR_GEN_FAILURE;
  return false;
}

HANDLE handle_of(File file) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(file.fd)); }

File open_with(const char *name, DWORD access, DWORD sharing, DWORD disposition) {
  HANDLE handle =
      CreateFileA(name, access, sharing, nullptr, disposition, kNormalSequentialScan, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    fail_with_last_error();
    return File{-1};
  }
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    CloseHandle(handle);
    t_files.lastError = ERROR_INVALID_FUNCTION;
    return File{-1};
  }
  succeed();
  return File{static_cast<int>(reinterpret_cast<intptr_t>(handle))};
}

} // namespace

File open_shared_read(const char *name) {
  return open_with(name, kReadOnlyAccess, kShareWithReaders, kOpenExisting);
}

File create_exclusive_write(const char *name) {
  return open_with(name, kWriteOnlyAccess, kShareWithNobody, kCreateAlways);
}

bool file_size(File file, uint64_t *size) {
  DWORD high = 0;
  DWORD low = GetFileSize(handle_of(file), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return fail_with_last_error();
  *size = (uint64_t)high << 32 | low;
  return succeed();
}

bool rewind_file(File file) {
  if (SetFilePointer(handle_of(file), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
    return fail_with_last_error();
  return succeed();
}

bool read_file(File file, void *buffer, uint32_t bytes, uint32_t *done) {
  DWORD moved = 0;
  BOOL ok = ReadFile(handle_of(file), buffer, bytes, &moved, nullptr);
  *done = moved;
  return ok ? succeed() : fail_with_last_error();
}

bool write_file(File file, const void *data, uint32_t bytes, uint32_t *done) {
  DWORD moved = 0;
  BOOL ok = WriteFile(handle_of(file), data, bytes, &moved, nullptr);
  *done = moved;
  return ok ? succeed() : fail_with_last_error();
}

bool close_file(File file) {
  return CloseHandle(handle_of(file)) ? succeed() : fail_with_last_error();
}

bool name_exists(const char *name) {
  char letter = (char)(name[0] | 0x20);
  bool bareDrive = letter >= 'a' && letter <= 'z' && name[1] == ':' && name[2] == '\0';
  if (bareDrive || std::strpbrk(name, "?*")) return false;
  return GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES;
}

uint32_t last_file_error() { return t_files.lastError; }

} // namespace platform
