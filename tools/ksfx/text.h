// Joining text: lists of names and of messages are built item by item, and counted nouns.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ksfx {

// Appends `item` to `text`, with `separator` between items.
inline void join_to(std::string &text, std::string_view separator, std::string_view item) {
  if (!text.empty()) text.append(separator);
  text.append(item);
}

// "1 sound", "2 sounds": `noun` takes a plain "s" in the plural.
inline std::string count(size_t n, std::string_view noun) {
  return std::to_string(n) + " " + std::string(noun) + (n == 1 ? "" : "s");
}

} // namespace ksfx
