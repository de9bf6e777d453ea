// Script parsing: a table of commands with their argument shapes and ranges, so every line is
// checked the same way and a bad one is reported with its number.
#include "script.h"

#include "error.h"
#include "text.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace ksfx {
namespace {

constexpr double kMaxTime = 3600.0;

struct Range {
  const char *what;
  int64_t low, high;
  bool minusOne; // -1 accepted as "the sample's own"
};

struct CommandShape {
  const char *name;
  Op op;
  bool sound;                // takes a SOUND first
  std::vector<Range> ranges; // then these numbers
  bool text;                 // then the rest of the line
};

const std::vector<CommandShape> &shapes() {
  static const std::vector<CommandShape> kShapes = {
      {"play", Op::Play, true, {}, false},
      {"place", Op::Place, true, {{"x", -32768, 32767, false}, {"y", -32768, 32767, false}}, false},
      {"update",
       Op::Update,
       true,
       {{"rate", 1, 1000000, true}, {"volume", 0, 127, true}, {"pan", 0, 127, true}},
       false},
      {"stop", Op::Stop, true, {}, false},
      {"dup", Op::Dup, true, {}, false},
      {"ear",
       Op::Ear,
       false,
       {{"x", -32768, 32767, false}, {"y", -32768, 32767, false}, {"direction", -1, 511, false}},
       false},
      {"envelope", Op::Envelope, false, {{"envelope", -32768, 32767, false}}, false},
      {"tune", Op::Tune, false, {}, true},
      {"tempo", Op::Tempo, false, {{"tempo", 1, 1000, false}}, false},
      {"volume", Op::Volume, false, {{"volume", 0, 127, false}}, false},
      {"repeats", Op::Repeats, false, {{"repeats", 0, 1000, false}}, false},
      {"tunestop", Op::TuneStop, false, {}, false},
      {"note", Op::Note, false, {}, true},
      {"end", Op::End, false, {}, false},
      {"channels", Op::Channels, false, {{"channels", 1, 64, false}}, false},
  };
  return kShapes;
}

std::vector<std::string> split_words(std::string_view line) {
  std::vector<std::string> words;
  std::istringstream in{std::string(line)};
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

std::string usage(const CommandShape &shape) {
  std::string out = shape.name;
  if (shape.sound) out += " SOUND";
  for (const Range &r : shape.ranges) {
    std::string arg = r.what;
    std::transform(arg.begin(), arg.end(), arg.begin(), [](char c) {
      return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    });
    out += " " + arg;
  }
  if (shape.text) out += shape.op == Op::Tune ? " FILE" : " TEXT";
  return out;
}

std::optional<double> parse_time(const std::string &word) {
  double value = 0;
  auto [ptr, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
  if (ec != std::errc() || ptr != word.data() + word.size() || !std::isfinite(value))
    return std::nullopt;
  return value;
}

std::optional<int64_t> parse_integer(const std::string &word) {
  int64_t value = 0;
  auto [ptr, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
  if (ec != std::errc() || ptr != word.data() + word.size()) return std::nullopt;
  return value;
}

// The text after the first `skip` words of `line`, trimmed.
std::string rest_of_line(std::string_view line, size_t skip) {
  size_t at = 0;
  for (size_t w = 0; w < skip; ++w) {
    at = line.find_first_not_of(" \t", at);
    at = line.find_first_of(" \t", at);
    if (at == std::string_view::npos) return "";
  }
  size_t begin = line.find_first_not_of(" \t", at);
  if (begin == std::string_view::npos) return "";
  size_t end = line.find_last_not_of(" \t\r");
  return std::string(line.substr(begin, end - begin + 1));
}

// Parses one non-empty line; returns the message for a bad one.
std::optional<std::string> parse_line(std::string_view line, ScriptCommand &cmd) {
  std::vector<std::string> words = split_words(line);
  auto time = parse_time(words[0]);
  if (!time) return "'" + words[0] + "' is not a time in seconds (lines read TIME COMMAND ARGS)";
  if (*time < 0 || *time > kMaxTime) return "time " + words[0] + " is outside 0-3600 seconds";
  cmd.time = *time;
  if (words.size() < 2) return "a command must follow the time";
  auto shape = std::find_if(shapes().begin(), shapes().end(),
                            [&](const CommandShape &s) { return words[1] == s.name; });
  if (shape == shapes().end()) return "unknown command '" + words[1] + "'";
  cmd.op = shape->op;
  size_t at = 2;
  if (shape->sound) {
    if (words.size() <= at) return "'" + usage(*shape) + "' needs a sound";
    cmd.sound = words[at++];
  }
  for (const Range &range : shape->ranges) {
    if (words.size() <= at) return "'" + usage(*shape) + "' needs " + range.what;
    auto value = parse_integer(words[at]);
    bool fits = value &&
                ((range.minusOne && *value == -1) || (*value >= range.low && *value <= range.high));
    if (!fits)
      return std::string(range.what) + " '" + words[at] + "' must be " +
             (range.minusOne ? "-1 or " : "") + "an integer from " + std::to_string(range.low) +
             " to " + std::to_string(range.high);
    cmd.numbers.push_back(static_cast<int32_t>(*value));
    ++at;
  }
  if (shape->text) {
    cmd.text = rest_of_line(line, 2);
    if (cmd.text.empty() && cmd.op == Op::Tune) return "'" + usage(*shape) + "' needs a file";
  } else if (words.size() > at) {
    return "too many arguments: '" + usage(*shape) + "'";
  }
  if (cmd.op == Op::Channels && cmd.time != 0) return "channels can only be set at time 0";
  return std::nullopt;
}

struct Problem {
  int line;
  std::string text;
};

std::string seconds(double t) {
  char text[32];
  std::snprintf(text, sizeof text, "%g s", t);
  return text;
}

// The first `end` in time order closes the script: every command sorted after it is an error,
// since nothing would run it.
void check_nothing_after_end(Script &script, std::vector<Problem> &errors) {
  auto end = std::find_if(script.commands.begin(), script.commands.end(),
                          [](const ScriptCommand &c) { return c.op == Op::End; });
  if (end == script.commands.end()) return;
  script.end = end->time;
  for (auto after = end + 1; after != script.commands.end(); ++after)
    errors.push_back({after->line, "'" + std::string(op_name(after->op)) + "' at " +
                                       seconds(after->time) + " comes after 'end' at " +
                                       seconds(end->time) + " (line " + std::to_string(end->line) +
                                       "): nothing runs after it"});
}

} // namespace

const char *op_name(Op op) {
  for (const CommandShape &shape : shapes())
    if (shape.op == op) return shape.name;
  return "?";
}

Script parse_script(std::string_view text, const std::string &source) {
  Script script;
  script.source = source;
  std::vector<Problem> errors;
  std::istringstream in{std::string(text)};
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    ScriptCommand cmd;
    cmd.line = number;
    if (auto problem = parse_line(line, cmd)) {
      errors.push_back({number, *problem});
      continue;
    }
    if (cmd.op == Op::Channels) script.channels = cmd.numbers[0];
    script.commands.push_back(std::move(cmd));
  }
  std::stable_sort(script.commands.begin(), script.commands.end(),
                   [](const ScriptCommand &a, const ScriptCommand &b) { return a.time < b.time; });
  check_nothing_after_end(script, errors);
  if (!errors.empty()) {
    std::sort(errors.begin(), errors.end(),
              [](const Problem &a, const Problem &b) { return a.line < b.line; });
    std::string all;
    for (const Problem &e : errors)
      join_to(all, "\n", source + ":" + std::to_string(e.line) + ": " + e.text);
    throw ToolError(all);
  }
  return script;
}

} // namespace ksfx
