// POSIX stand-ins for the Windows file calls. Reading shares the file with readers only and
// writing shares it with nobody; both are emulated with flock() locks taken without waiting.
// Without large-file support (32-bit builds) files of 2 GiB or more fail to open.
#include "platform/file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// Per-thread error code, as the system's last-error value is per thread.
struct FileErrorState {
  uint32_t lastError; // errno of the last failed call here, 0 after a success; calling thread
};
thread_local FileErrorState t_files = {0};

bool succeed() {
  t_files.lastError = 0;
  return true;
}

bool fail_with_errno() {
  t_files.lastError = errno ? (uint32_t)errno : (uint32_t)EIO;
  return false;
}

// Closes a half-opened descriptor and reports the failure that made us give up on it.
File abandon(int fd, int error) {
  ::close(fd);
  t_files.lastError = (uint32_t)error;
  return File{-1};
}

// Non-regular files (directories, FIFOs, devices) are refused as Windows refuses directories;
// O_NONBLOCK at open keeps a FIFO without a partner from hanging the caller.
File finish_open(int fd, int lockMode) {
  if (fd < 0) {
    fail_with_errno();
    return File{-1};
  }
  struct stat info;
  if (::fstat(fd, &info) != 0) return abandon(fd, errno);
  if (!S_ISREG(info.st_mode)) return abandon(fd, S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
  if (::flock(fd, lockMode | LOCK_NB) != 0) return abandon(fd, errno);
  succeed();
  return File{fd};
}

} // namespace

File open_shared_read(const char *name) {
  return finish_open(::open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC), LOCK_SH);
}

File create_exclusive_write(const char *name) {
  // Truncation waits for the exclusive lock, so a file held by someone else keeps its content.
  File file = finish_open(::open(name, O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666), LOCK_EX);
  if (file.valid() && ::ftruncate(file.fd, 0) != 0) return abandon(file.fd, errno);
  return file;
}

bool file_size(File file, uint64_t *size) {
  struct stat info;
  if (::fstat(file.fd, &info) != 0) return fail_with_errno();
  *size = (uint64_t)info.st_size;
  return succeed();
}

bool rewind_file(File file) {
  if (::lseek(file.fd, 0, SEEK_SET) != 0) return fail_with_errno();
  return succeed();
}

bool read_file(File file, void *buffer, uint32_t bytes, uint32_t *done) {
  auto *at = static_cast<unsigned char *>(buffer);
  *done = 0;
  while (*done < bytes) {
    ssize_t got = ::read(file.fd, at + *done, bytes - *done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return fail_with_errno();
    if (got == 0) break; // end of file: a short count, not an error
    *done += (uint32_t)got;
  }
  return succeed();
}

bool write_file(File file, const void *data, uint32_t bytes, uint32_t *done) {
  const auto *at = static_cast<const unsigned char *>(data);
  *done = 0;
  while (*done < bytes) {
    ssize_t put = ::write(file.fd, at + *done, bytes - *done);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return fail_with_errno();
    if (put == 0) break;
    *done += (uint32_t)put;
  }
  return succeed();
}

bool close_file(File file) {
  if (::close(file.fd) != 0) return fail_with_errno();
  return succeed();
}

bool name_exists(const char *name) {
  char letter = (char)(name[0] | 0x20);
  bool bareDrive = letter >= 'a' && letter <= 'z' && name[1] == ':' && name[2] == '\0';
  if (bareDrive || std::strpbrk(name, "?*")) return false;
  struct stat info;
  return ::stat(name, &info) == 0;
}

uint32_t last_file_error() { return t_files.lastError; }

} // namespace platform
