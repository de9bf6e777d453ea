// Joining text: lists of names and of messages are built item by item.
#pragma once

#include <string>
#include <string_view>

namespace ksfx {

// Appends `item` to `text`, with `separator` between items.
inline void join_to(std::string &text, std::string_view separator, std::string_view item) {
  if (!text.empty()) text.append(separator);
  text.append(item);
}

} // namespace ksfx
