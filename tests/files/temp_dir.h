// A fresh temporary directory per test, removed with everything in it afterwards.
#pragma once

#include "tools/ksfx/posix_shims.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

class TempDir {
public:
  TempDir() {
    if (!mkdtemp(path_.data())) throw std::runtime_error("no temporary directory");
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string operator/(const std::string &name) const { return path_ + "/" + name; }
  // Creates (or replaces) a file holding `bytes`.
  void put(const std::string &name, const std::string &bytes) const {
    std::ofstream(*this / name, std::ios::binary) << bytes;
  }

private:
  std::string path_ = (std::filesystem::temp_directory_path() / "ksnd_files_XXXXXX").string();
};
