// Virtual file paths: internals shared with tests. The exports (VirtualizeFilePath,
// SetVirtualFilePath, SetVirtualFilePathCallBack) are declared in ksnd32.h.
#pragma once

#include <cstddef>

namespace files {

// Size of the caller's output buffer that VirtualizeFilePath fills, terminator included.
constexpr std::size_t kResolvedNameSize = 260;

// Puts the empty virtual path and the default callback back, as at load (tests only: the
// exports can only replace them).
void reset_virtual_paths();

} // namespace files
