// Terminal progress line.
#include "progress.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace ksfx {

Progress::Progress(std::string what, double total)
    : what_(std::move(what)), total_(total), shown_(isatty(STDERR_FILENO) == 1) {}

Progress::~Progress() {
  if (drawn_) std::fprintf(stderr, "\r\033[K");
}

void Progress::update(double done) {
  if (!shown_ || total_ <= 0) return;
  auto now = std::chrono::steady_clock::now();
  if (drawn_ && now - last_ < std::chrono::milliseconds(100)) return;
  last_ = now;
  drawn_ = true;
  double fraction = std::clamp(done / total_, 0.0, 1.0);
  int filled = static_cast<int>(fraction * 30);
  std::fprintf(stderr, "\r\033[K%s [%s%s] %3d%%", what_.c_str(), std::string(filled, '#').c_str(),
               std::string(30 - filled, '.').c_str(), static_cast<int>(fraction * 100));
  std::fflush(stderr);
}

} // namespace ksfx
