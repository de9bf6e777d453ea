// The numbered temporaries a replacement writes beside its target, shared by both systems'
// file code: ".ksnd32-PID-NNNNNNNN.tmp" in the target's folder, the digits counting up until a
// name is free.
#pragma once

#include "platform/file.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

namespace platform::temporary {

constexpr std::size_t kDigits = 8, kTail = 4; // hex digits, then ".tmp"

// `folder` (ending in its separator, or empty) with the leaf for process `pid`, digits zero.
inline std::string name_in(std::string folder, unsigned long pid) {
  char leaf[64];
  std::snprintf(leaf, sizeof leaf, ".ksnd32-%lu-00000000.tmp", pid);
  return folder + leaf;
}

// Sets the digits of `name` and calls `create_new(name, &taken)` until it makes the file or
// fails for a reason other than the name being taken (100 names at most).
template <typename CreateNew> File create_numbered(std::string &name, CreateNew create_new) {
  static std::atomic<uint32_t> counter{0};
  char *digits = name.data() + name.size() - kTail - kDigits;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char hex[kDigits + 1];
    std::snprintf(hex, sizeof hex, "%08x", (unsigned)counter.fetch_add(1));
    std::memcpy(digits, hex, kDigits);
    bool taken = false;
    const File file = create_new(name.c_str(), &taken);
    if (file.valid() || !taken) return file;
  }
  return File{-1};
}

} // namespace platform::temporary
