// Whole-file reading and writing for the tool's own files (manifests, scripts, outputs).
// Failures become ToolErrors naming the file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace ksfx {

// Reads the whole file; refuses files over `limit` bytes.
std::vector<uint8_t> read_file(const std::filesystem::path &path, uintmax_t limit = 1u << 30);
std::string read_text_file(const std::filesystem::path &path);
// Writes to a temporary name beside `path` and renames it, so a failure leaves no partial file.
void write_file(const std::filesystem::path &path, std::span<const uint8_t> bytes);
void write_text_file(const std::filesystem::path &path, const std::string &text);

} // namespace ksfx
