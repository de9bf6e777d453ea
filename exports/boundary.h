// The export boundary: no exception leaves a C entry point. An export whose work may allocate
// runs that work through guarded(), which turns any exception (running out of memory above all)
// into the export's documented failure value.
#pragma once

#include <utility>

namespace exports {

template <typename Result, typename Body> Result guarded(Result failure, Body &&body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    return failure;
  }
}

template <typename Body> void guarded(Body &&body) noexcept {
  try {
    std::forward<Body>(body)();
  } catch (...) {
  }
}

} // namespace exports
