// The tool's one error type: a message ready to show the user, naming the file and line where
// one is known. Commands throw it; main prints it and exits with status 1.
#pragma once

#include <stdexcept>
#include <string>

namespace ksfx {

class ToolError : public std::runtime_error {
public:
  explicit ToolError(const std::string &message) : std::runtime_error(message) {}
};

} // namespace ksfx
