// POSIX stand-ins for the Windows file calls. Reading shares the file with readers only and
// writing shares it with nobody; both are emulated with flock() locks taken without waiting.
// A replacement's temporary is named ".ksnd32-PID-NNNNNNNN.tmp" in the target's directory and
// takes the target's permission bits; the rename replaces a symbolic link itself, not the file
// it names. Without large-file support (32-bit builds) files of 2 GiB or more fail to open.
#include "platform/file.h"
#include "platform/temporary_file.h"

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

// The temporary's name in the directory of `target`.
std::string temporary_name(const char *target) {
  const char *slash = std::strrchr(target, '/');
  return temporary::name_in(std::string(target, slash ? (std::size_t)(slash - target + 1) : 0),
                            (unsigned long)::getpid());
}

// A fresh temporary, written by us alone.
File create_temporary(std::string &name) {
  return temporary::create_numbered(name, [](const char *path, bool *taken) {
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    *taken = fd < 0 && errno == EEXIST;
    return File{fd};
  });
}

// Opens the target for writing without truncating it, creating an empty placeholder when it does
// not exist, and takes its exclusive lock.
bool hold_target(const char *name, Replacement *out) {
  out->createdTarget = false;
  int fd = ::open(name, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) {
    fd = ::open(name, O_WRONLY | O_CREAT | O_EXCL | O_NONBLOCK | O_CLOEXEC, 0666);
    out->createdTarget = fd >= 0;
  }
  out->target = finish_open(fd, LOCK_EX);
  if (out->target.valid()) return true;
  if (out->createdTarget) ::unlink(name);
  return false;
}

// Ends a replacement that will not be committed: the temporary (when it was created) is closed
// and removed, and the target let go, removing the placeholder hold_target created.
bool give_up(Replacement *r, int error, bool tempCreated) {
  if (r->temp.valid()) ::close(r->temp.fd);
  if (tempCreated) ::unlink(r->tempName.c_str());
  ::close(r->target.fd);
  if (r->createdTarget) ::unlink(r->targetName);
  r->temp = r->target = File{-1};
  t_files.lastError = (uint32_t)error;
  return false;
}

} // namespace

File open_shared_read(const char *name) {
  return finish_open(::open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC), LOCK_SH);
}

bool begin_replacement(const char *name, Replacement *out) {
  out->tempName = temporary_name(name); // allocates before anything is opened
  out->targetName = name;
  out->temp = File{-1};
  if (!hold_target(name, out)) return false;
  struct stat target;
  mode_t mode = ::fstat(out->target.fd, &target) == 0 ? (target.st_mode & 07777) : 0666;
  out->temp = create_temporary(out->tempName);
  if (!out->temp.valid()) return give_up(out, errno, false);
  if (!out->createdTarget && ::fchmod(out->temp.fd, mode) != 0) return give_up(out, errno, true);
  return succeed();
}

bool commit_replacement(Replacement *r) {
  bool ok = ::fsync(r->temp.fd) == 0;
  ok = ::close(r->temp.fd) == 0 && ok;
  r->temp = File{-1};
  if (!ok || ::rename(r->tempName.c_str(), r->targetName) != 0) return give_up(r, errno, true);
  ::close(r->target.fd);
  r->target = File{-1};
  return succeed();
}

void abandon_replacement(Replacement *r) { give_up(r, 0, true); }

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
