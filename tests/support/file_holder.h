// Another program holding a file open for writing, for tests of the sharing rules: on Windows a
// handle opened for writing with no sharing, elsewhere an exclusive advisory lock.
#pragma once

#include <string>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN // no <mmsystem.h>: ksnd32.h came first with its own wave records
#endif
#include <windows.h>

class FileHeldForWriting {
public:
  explicit FileHeldForWriting(const std::string &name)
      : handle_(CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}
  ~FileHeldForWriting() {
    if (held()) CloseHandle(handle_);
  }
  bool held() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
  HANDLE handle_;
};
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

class FileHeldForWriting {
public:
  explicit FileHeldForWriting(const std::string &name) : fd_(::open(name.c_str(), O_RDWR)) {
    if (fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~FileHeldForWriting() {
    if (held()) ::close(fd_);
  }
  bool held() const { return fd_ >= 0; }

private:
  int fd_;
};
#endif
