// Progress of long operations on a terminal: one line on standard error, redrawn at most ten
// times a second and cleared at the end. Silent when standard error is not a terminal.
#pragma once

#include <chrono>
#include <string>

namespace ksfx {

class Progress {
public:
  Progress(std::string what, double total);
  ~Progress();
  Progress(const Progress &) = delete;
  Progress &operator=(const Progress &) = delete;

  void update(double done);

private:
  std::string what_;
  double total_;
  bool shown_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point last_{};
};

} // namespace ksfx
