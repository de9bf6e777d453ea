// Another program holding a file open, for tests of the sharing rules: on Windows a handle
// opened for reading shared with readers, or for writing shared with nobody; elsewhere a shared
// or exclusive advisory lock.
#pragma once

#include <string>

enum class Hold { Reading, Writing };

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN // no <mmsystem.h>: ksnd32.h came first with its own wave records
#endif
#include <windows.h>

class HeldFile {
public:
  HeldFile(const std::string &name, Hold hold)
      : handle_(CreateFileA(name.c_str(), hold == Hold::Reading ? GENERIC_READ : GENERIC_WRITE,
                            hold == Hold::Reading ? FILE_SHARE_READ : 0, nullptr, OPEN_EXISTING, 0,
                            nullptr)) {}
  ~HeldFile() {
    if (held()) CloseHandle(handle_);
  }
  HeldFile(const HeldFile &) = delete;
  HeldFile &operator=(const HeldFile &) = delete;
  bool held() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
  HANDLE handle_;
};
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

class HeldFile {
public:
  HeldFile(const std::string &name, Hold hold)
      : fd_(::open(name.c_str(), hold == Hold::Reading ? O_RDONLY : O_RDWR)) {
    if (fd_ >= 0 && ::flock(fd_, (hold == Hold::Reading ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~HeldFile() {
    if (held()) ::close(fd_);
  }
  HeldFile(const HeldFile &) = delete;
  HeldFile &operator=(const HeldFile &) = delete;
  bool held() const { return fd_ >= 0; }

private:
  int fd_;
};
#endif
