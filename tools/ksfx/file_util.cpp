// Whole-file reading and atomic writing with clear messages.
#include "file_util.h"

#include "error.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <system_error>

namespace ksfx {

namespace fs = std::filesystem;

std::vector<uint8_t> read_file(const fs::path &path, uintmax_t limit) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) throw ToolError("'" + path.string() + "' is a directory");
  uintmax_t size = fs::file_size(path, ec);
  if (ec) throw ToolError("cannot read '" + path.string() + "': " + ec.message());
  if (size > limit) throw ToolError("'" + path.string() + "' is too large");
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (!in || !in.read(reinterpret_cast<char *>(bytes.data()), static_cast<std::streamsize>(size)))
    throw ToolError("cannot read '" + path.string() + "': " + std::strerror(errno));
  return bytes;
}

std::string read_text_file(const fs::path &path) {
  std::vector<uint8_t> bytes = read_file(path, 64u << 20);
  return std::string(bytes.begin(), bytes.end());
}

void write_file(const fs::path &path, std::span<const uint8_t> bytes) {
  fs::path temporary = path;
  temporary += ".part";
  auto fail = [&](const std::string &reason) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    throw ToolError("cannot write '" + path.string() + "': " + reason);
  };
  std::FILE *out = std::fopen(temporary.string().c_str(), "wb");
  if (!out) fail(std::strerror(errno));
  bool wrote = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  int error = errno;
  if (std::fclose(out) != 0 && wrote) {
    wrote = false;
    error = errno;
  }
  if (!wrote) fail(std::strerror(error));
  std::error_code ec;
  fs::rename(temporary, path, ec);
  if (ec) fail(ec.message());
}

void write_text_file(const fs::path &path, const std::string &text) {
  write_file(path, std::span(reinterpret_cast<const uint8_t *>(text.data()), text.size()));
}

} // namespace ksfx
