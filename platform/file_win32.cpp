// The file calls on Windows, with the access, sharing, disposition and attribute flags of the
// whole-file functions: reading shares the file with readers only, and a replacement holds the
// target with no sharing while its content goes to a temporary file beside it. A File holds the
// kernel handle, which Windows keeps within 32 bits.
//
// Choices: only disk files open (a device name such as "CON" would block or write elsewhere,
// and the POSIX side refuses non-regular files alike); the size query asks for the high half
// too, so that a file of 4 GiB or more is refused rather than read short. A replacement's
// temporary is ".ksnd32-PID-NNNNNNNN.tmp" in the target's folder and gets the folder's default
// attributes and permissions, as a newly created file would. Windows refuses to rename over a
// file that is open, the hold included, so the commit lets the target go just before the rename:
// someone who opens the target in that moment makes the commit fail (0), and the target is then
// left as it was.
#include "platform/file.h"
#include "platform/lead_byte.h"
#include "platform/temporary_file.h"

#include <cstring>
#include <windows.h>

namespace platform {
namespace {

constexpr DWORD kReadOnlyAccess = 0x80000000;  // GENERIC_READ
constexpr DWORD kWriteOnlyAccess = 0x40000000; // GENERIC_WRITE
constexpr DWORD kShareWithReaders = 1;         // FILE_SHARE_READ
constexpr DWORD kShareWithNobody = 0;
constexpr DWORD kOpenExisting = 3;                 // OPEN_EXISTING
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

// A disk file opened with CreateFileA, or File{-1} with the error kept; `created` (when given)
// tells whether the open made the file.
File open_with(const char *name, DWORD access, DWORD sharing, DWORD disposition,
               bool *created = nullptr) {
  HANDLE handle =
      CreateFileA(name, access, sharing, nullptr, disposition, kNormalSequentialScan, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    fail_with_last_error();
    return File{-1};
  }
  if (created) *created = GetLastError() != ERROR_ALREADY_EXISTS;
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    CloseHandle(handle);
    t_files.lastError = ERROR_INVALID_FUNCTION;
    return File{-1};
  }
  succeed();
  return File{static_cast<int>(reinterpret_cast<intptr_t>(handle))};
}

// The temporary's name in the folder of `target`, which ends at the last separator or drive
// colon that is not the second byte of a double-byte character.
std::string temporary_name(const char *target) {
  std::size_t folder = 0;
  for (std::size_t i = 0; target[i] != '\0'; ++i) {
    const char c = target[i];
    if (c == '\\' || c == '/' || c == ':') folder = i + 1;
    if (is_lead_byte((uint8_t)c) && target[i + 1] != '\0') ++i;
  }
  return temporary::name_in(std::string(target, folder), (unsigned long)GetCurrentProcessId());
}

// A fresh temporary, written by us alone.
File create_temporary(std::string &name) {
  return temporary::create_numbered(name, [](const char *path, bool *taken) {
    const File temp = open_with(path, kWriteOnlyAccess, kShareWithNobody, CREATE_NEW);
    *taken = !temp.valid() && t_files.lastError == ERROR_FILE_EXISTS;
    return temp;
  });
}

// Closes the hold on the target; a placeholder the replacement created is deleted through the
// hold first, so nobody else's file of that name is ever removed.
void release_target(Replacement *r) {
  if (r->createdTarget) {
    FILE_DISPOSITION_INFO remove = {TRUE};
    SetFileInformationByHandle(handle_of(r->target), FileDispositionInfo, &remove, sizeof remove);
  }
  CloseHandle(handle_of(r->target));
  r->target = File{-1};
}

// Ends a replacement that will not be committed: the temporary is closed and, when it was
// created, deleted; the target is let go.
bool give_up(Replacement *r, DWORD error, bool tempCreated) {
  if (r->temp.valid()) CloseHandle(handle_of(r->temp));
  r->temp = File{-1};
  if (tempCreated) DeleteFileA(r->tempName.c_str());
  if (r->target.valid()) release_target(r);
  t_files.lastError = error;
  return false;
}

} // namespace

File open_shared_read(const char *name) {
  return open_with(name, kReadOnlyAccess, kShareWithReaders, kOpenExisting);
}

bool begin_replacement(const char *name, Replacement *out) {
  out->tempName = temporary_name(name); // allocates before anything is opened
  out->targetName = name;
  out->temp = File{-1};
  out->createdTarget = false;
  // Write and delete access, shared with nobody, the file created when missing, not truncated.
  out->target = open_with(name, kWriteOnlyAccess | DELETE, kShareWithNobody, OPEN_ALWAYS,
                          &out->createdTarget);
  if (!out->target.valid()) return false;
  out->temp = create_temporary(out->tempName);
  if (!out->temp.valid()) return give_up(out, t_files.lastError, false);
  return succeed();
}

bool commit_replacement(Replacement *r) {
  if (!FlushFileBuffers(handle_of(r->temp))) return give_up(r, GetLastError(), true);
  const HANDLE temp = handle_of(r->temp);
  r->temp = File{-1};
  if (!CloseHandle(temp)) return give_up(r, GetLastError(), true);
  release_target(r);
  if (!MoveFileExA(r->tempName.c_str(), r->targetName,
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return give_up(r, GetLastError(), true);
  return succeed();
}

void abandon_replacement(Replacement *r) { give_up(r, 0, true); }

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
