// The two POSIX calls the tool (and its tests) use that MinGW's C library lacks: mkdtemp (the
// trailing "XXXXXX" of the pattern becomes random letters and digits until a new directory is made)
// and setenv (through _putenv, which the audio library's getenv sees, as both share msvcrt).
#pragma once

#include <cstdlib>

#if defined(_WIN32)
#include <cerrno>
#include <cstring>
#include <direct.h>
#include <random>
#include <string>

inline char *mkdtemp(char *pattern) {
  const std::size_t length = std::strlen(pattern);
  if (length < 6 || std::strcmp(pattern + length - 6, "XXXXXX") != 0) {
    errno = EINVAL;
    return nullptr;
  }
  static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::mt19937 random{std::random_device{}()};
  for (int attempt = 0; attempt < 100; ++attempt) {
    for (std::size_t i = length - 6; i < length; ++i) pattern[i] = kAlphabet[random() % 36];
    if (_mkdir(pattern) == 0) return pattern;
    if (errno != EEXIST) return nullptr;
  }
  return nullptr;
}

inline int setenv(const char *name, const char *value, int) {
  return _putenv((std::string(name) + "=" + value).c_str());
}
#endif
