// A small well-formedness check for the SVG the tool writes: balanced, properly nested tags,
// quoted attributes and only known entities in text. Returns "" when well-formed.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

inline std::string xml_problem(const std::string &doc) {
  std::vector<std::string> open;
  for (size_t at = 0; at < doc.size();) {
    if (doc[at] == '&') {
      size_t semi = doc.find(';', at);
      std::string entity = semi == std::string::npos ? "" : doc.substr(at, semi - at + 1);
      if (entity != "&amp;" && entity != "&lt;" && entity != "&gt;" && entity != "&quot;" &&
          entity.rfind("&#", 0) != 0)
        return "bad entity at " + std::to_string(at);
      at = semi + 1;
    } else if (doc[at] != '<') {
      ++at;
    } else {
      size_t close = doc.find('>', at);
      if (close == std::string::npos) return "unclosed tag at " + std::to_string(at);
      std::string tag = doc.substr(at + 1, close - at - 1);
      at = close + 1;
      if (tag.front() == '/' && (open.empty() || open.back() != tag.substr(1)))
        return "mismatched <" + tag + ">";
      if (tag.front() == '/') open.pop_back();
      if (tag.front() == '/' || tag.front() == '?') continue;
      if (std::count(tag.begin(), tag.end(), '"') % 2) return "unbalanced quotes in <" + tag + ">";
      if (tag.find('<') != std::string::npos) return "'<' inside a tag";
      if (tag.back() != '/') open.push_back(tag.substr(0, tag.find_first_of(" \t\n")));
    }
  }
  return open.empty() ? "" : "unclosed <" + open.back() + ">";
}
