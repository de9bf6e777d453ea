// Formatting of a read bank: aligned tables, or a JSON document with the same content. In JSON
// every key keeps one type: flags are a list of names, a group has no "sample", and a sample's
// "seconds" is left out where its stored shape gives no duration.
#include "bank_report.h"

#include "text.h"

#include <algorithm>
#include <cstdio>
#include <ksnd32.h>
#include <optional>
#include <sstream>

namespace ksfx {
namespace {

const char *kFormatNames[] = {"mono 8-bit", "mono 16-bit", "stereo 8-bit", "stereo 16-bit"};

std::string format_name(uint16_t format) {
  return format < 4 ? kFormatNames[format] : "format " + std::to_string(format);
}

std::string value_or_own(int32_t v) { return v == -1 ? "own" : std::to_string(v); }

std::string counted(size_t count, const char *noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

// Seconds of sound in the stored PCM length at the stored rate and shape; none for a rate of 0
// or a shape the set-up does not know.
std::optional<double> duration(const BankSample &s) {
  if (s.rate == 0 || s.format > 3) return std::nullopt;
  uint32_t frameBytes = (s.format & 1 ? 2u : 1u) * (s.format & 2 ? 2u : 1u);
  return static_cast<double>(s.length / frameBytes) / s.rate;
}

std::string duration_text(const BankSample &s) {
  std::optional<double> seconds = duration(s);
  if (!seconds) return "?";
  char text[32];
  std::snprintf(text, sizeof text, "%.3f s", *seconds);
  return text;
}

std::string sound_label(const BankInfo &bank, uint32_t k) {
  const std::string &name = bank.sounds[k].name;
  if (!name.empty()) return name;
  std::string number = "#";
  return number.append(std::to_string(k));
}

std::string element_list(const BankInfo &bank, const BankSound &s) {
  std::string out;
  for (uint32_t e : s.elements) join_to(out, ", ", sound_label(bank, e));
  return out;
}

// Column widths that fit every row.
struct Table {
  std::vector<std::vector<std::string>> rows;
  std::string render() const {
    std::vector<size_t> width;
    for (const auto &row : rows)
      for (size_t c = 0; c < row.size(); ++c) {
        if (width.size() <= c) width.push_back(0);
        width[c] = std::max(width[c], row[c].size());
      }
    std::string out;
    for (const auto &row : rows) {
      std::string line = " ";
      for (size_t c = 0; c < row.size(); ++c)
        line += "  " + row[c] + std::string(c + 1 < row.size() ? width[c] - row[c].size() : 0, ' ');
      while (!line.empty() && line.back() == ' ') line.pop_back();
      out += line + "\n";
    }
    return out;
  }
};

} // namespace

std::string json_string(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", u);
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string bank_report_text(const BankInfo &bank, const std::string &title) {
  std::ostringstream out;
  out << title << ": " << counted(bank.sounds.size(), "sound") << ", "
      << counted(bank.samples.size(), "sample") << ", " << counted(bank.fileSize, "byte")
      << (bank.hasNames ? "" : ", no sound names") << "\n\nSounds\n";
  Table sounds{{{"#", "name", "sample", "priority", "flags", "rate", "volume", "pan", "elements"}}};
  for (uint32_t k = 0; k < bank.sounds.size(); ++k) {
    const BankSound &s = bank.sounds[k];
    bool group = s.flags & KSFX_GROUP;
    std::string sample = group ? "-" : bank.samples[s.sampleIndex].file;
    sounds.rows.push_back({std::to_string(k), s.name.empty() ? "-" : s.name, sample,
                           std::to_string(s.priority), flag_names(s.flags), value_or_own(s.rate),
                           value_or_own(s.volume), value_or_own(s.pan), element_list(bank, s)});
  }
  out << sounds.render() << "\nSamples\n";
  Table samples{{{"#", "file", "shape", "rate", "bytes", "duration"}}};
  for (uint32_t i = 0; i < bank.samples.size(); ++i) {
    const BankSample &s = bank.samples[i];
    samples.rows.push_back({std::to_string(i), s.file, format_name(s.format),
                            std::to_string(s.rate), std::to_string(s.length), duration_text(s)});
  }
  out << samples.render();
  return out.str();
}

std::string bank_report_json(const BankInfo &bank, const std::string &title) {
  std::ostringstream out;
  out << "{\n  \"file\": " << json_string(title) << ",\n  \"bytes\": " << bank.fileSize
      << ",\n  \"sounds\": [";
  for (uint32_t k = 0; k < bank.sounds.size(); ++k) {
    const BankSound &s = bank.sounds[k];
    out << (k ? "," : "") << "\n    {\"number\": " << k << ", \"name\": " << json_string(s.name);
    if (!(s.flags & KSFX_GROUP)) out << ", \"sample\": " << s.sampleIndex;
    out << ", \"priority\": " << s.priority << ", \"flags\": [";
    std::vector<std::string> flags = flag_list(s.flags);
    for (size_t f = 0; f < flags.size(); ++f) out << (f ? ", " : "") << json_string(flags[f]);
    out << "], \"rate\": " << s.rate << ", \"volume\": " << s.volume << ", \"pan\": " << s.pan
        << ", \"elements\": [";
    for (size_t e = 0; e < s.elements.size(); ++e)
      out << (e ? ", " : "") << json_string(sound_label(bank, s.elements[e]));
    out << "]}";
  }
  out << "\n  ],\n  \"samples\": [";
  for (uint32_t i = 0; i < bank.samples.size(); ++i) {
    const BankSample &s = bank.samples[i];
    out << (i ? "," : "") << "\n    {\"number\": " << i << ", \"file\": " << json_string(s.file)
        << ", \"shape\": " << json_string(format_name(s.format)) << ", \"rate\": " << s.rate
        << ", \"bytes\": " << s.length;
    if (std::optional<double> seconds = duration(s)) out << ", \"seconds\": " << *seconds;
    out << "}";
  }
  out << "\n  ]\n}\n";
  return out.str();
}

} // namespace ksfx
