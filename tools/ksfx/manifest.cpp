// Manifest parsing with toml++: the [samples] table and the [[sound]] array, checked into the
// records that the compiler needs. Every problem is collected with its line before failing.
#include "manifest.h"

#include "error.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <toml++/toml.h>

namespace ksfx {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kSoundKeys[] = {"name",   "sample", "priority", "resume", "loop",
                                           "random", "group",  "rate",     "volume", "pan"};
constexpr int64_t kMaxRate = 1000000;
constexpr size_t kMaxEntries = 65535; // the bank's 16-bit counts

int line_of(const toml::node &node) { return static_cast<int>(node.source().begin.line); }

// A sound as written, before names are resolved.
struct RawSound {
  ManifestSound sound;
  std::string sampleName;
  int sampleLine = 0;
  std::vector<std::pair<std::string, int>> groupNames; // name and line
  int groupLine = 0;
};

class ManifestParser {
public:
  ManifestParser(const std::string &source, const fs::path &dir) : source_(source), dir_(dir) {}

  Manifest parse(const toml::table &root) {
    check_top_level(root);
    read_samples(root);
    read_sounds(root);
    resolve_sounds();
    if (!errors_.empty()) throw ToolError(joined_errors());
    return std::move(manifest_);
  }

private:
  void error(int line, const std::string &message) { errors_.emplace_back(line, message); }

  std::string joined_errors() {
    std::stable_sort(errors_.begin(), errors_.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    std::ostringstream out;
    for (size_t i = 0; i < errors_.size(); ++i) {
      if (i) out << '\n';
      out << source_ << ':' << errors_[i].first << ": " << errors_[i].second;
    }
    return out.str();
  }

  static bool valid_name(const std::string &name) {
    return !name.empty() && std::none_of(name.begin(), name.end(), [](char c) {
      return c == ' ' || c == '\t' || c == '#' || static_cast<unsigned char>(c) < 32;
    });
  }

  void check_top_level(const toml::table &root) {
    for (auto &&[key, node] : root) {
      if (key != "samples" && key != "sound")
        error(line_of(node), "unknown key '" + std::string(key.str()) +
                                 "' (a manifest has a [samples] table and [[sound]] entries)");
    }
  }

  void read_samples(const toml::table &root) {
    const toml::node *node = root.get("samples");
    if (!node) return;
    const toml::table *table = node->as_table();
    if (!table) return error(line_of(*node), "'samples' must be a table of name = \"file.wav\"");
    for (auto &&[key, value] : *table) {
      ManifestSample sample{std::string(key.str()), "", {}, line_of(value)};
      if (!valid_name(sample.name))
        error(sample.line, "sample name '" + sample.name + "' is empty or holds spaces or '#'");
      auto file = value.value<std::string>();
      if (!file || file->empty()) {
        error(sample.line, "sample '" + sample.name + "' needs a WAV file name in quotes");
        continue;
      }
      sample.file = *file;
      fs::path path(*file);
      sample.path = path.is_absolute() ? path : dir_ / path;
      manifest_.samples.push_back(std::move(sample));
    }
    // toml++ keeps tables sorted by key; the bank keeps the order the manifest was written in.
    std::stable_sort(manifest_.samples.begin(), manifest_.samples.end(),
                     [](const auto &a, const auto &b) { return a.line < b.line; });
    if (manifest_.samples.size() > kMaxEntries)
      error(line_of(*node), "a bank holds at most 65535 samples");
  }

  void read_sounds(const toml::table &root) {
    const toml::node *node = root.get("sound");
    if (!node) return;
    const toml::array *array = node->as_array();
    if (!array || !array->is_array_of_tables())
      return error(line_of(*node), "sounds are written as [[sound]] tables");
    if (array->size() > kMaxEntries) error(line_of(*node), "a bank holds at most 65535 sounds");
    for (const toml::node &entry : *array) raws_.push_back(read_sound(*entry.as_table()));
  }

  RawSound read_sound(const toml::table &table) {
    RawSound raw;
    ManifestSound &sound = raw.sound;
    sound.line = line_of(table);
    for (auto &&[key, value] : table) {
      if (std::find(std::begin(kSoundKeys), std::end(kSoundKeys), key.str()) ==
          std::end(kSoundKeys))
        error(line_of(value), "unknown key '" + std::string(key.str()) + "' in [[sound]]");
    }
    if (auto name = table["name"].value<std::string>()) {
      sound.name = *name;
      sound.line = line_of(*table.get("name"));
      if (!valid_name(sound.name))
        error(sound.line, "sound name '" + sound.name + "' is empty or holds spaces or '#'");
    } else {
      error(sound.line, "[[sound]] needs name = \"...\"");
    }
    read_sample_ref(table, raw);
    read_group(table, raw);
    sound.priority = static_cast<uint32_t>(integer(table, "priority", 0, 0, UINT32_MAX, sound));
    sound.resume = boolean(table, "resume", sound);
    sound.loop = boolean(table, "loop", sound);
    sound.random = boolean(table, "random", sound);
    sound.rate = static_cast<int32_t>(integer(table, "rate", -1, 1, kMaxRate, sound));
    sound.volume = static_cast<int32_t>(integer(table, "volume", -1, 0, 127, sound));
    sound.pan = static_cast<int32_t>(integer(table, "pan", -1, 0, 127, sound));
    return raw;
  }

  std::string who(const ManifestSound &sound) const {
    return sound.name.empty() ? std::string("sound") : "sound '" + sound.name + "'";
  }

  void read_sample_ref(const toml::table &table, RawSound &raw) {
    const toml::node *node = table.get("sample");
    if (!node) return;
    raw.sampleLine = line_of(*node);
    if (auto name = node->value<std::string>())
      raw.sampleName = *name;
    else
      error(raw.sampleLine, who(raw.sound) + ": 'sample' must be a sample name in quotes");
  }

  void read_group(const toml::table &table, RawSound &raw) {
    const toml::node *node = table.get("group");
    if (!node) return;
    raw.sound.group = true;
    raw.groupLine = line_of(*node);
    const toml::array *array = node->as_array();
    if (!array) return error(raw.groupLine, who(raw.sound) + ": 'group' must be a list of sounds");
    for (const toml::node &element : *array) {
      if (auto name = element.value<std::string>())
        raw.groupNames.emplace_back(*name, line_of(element));
      else
        error(line_of(element), who(raw.sound) + ": group elements are sound names in quotes");
    }
  }

  bool boolean(const toml::table &table, std::string_view key, const ManifestSound &sound) {
    const toml::node *node = table.get(key);
    if (!node) return false;
    if (auto value = node->value_exact<bool>()) return *value;
    error(line_of(*node), who(sound) + ": '" + std::string(key) + "' must be true or false");
    return false;
  }

  // An integer key: `fallback` when absent; -1 is accepted where the fallback is -1.
  int64_t integer(const toml::table &table, std::string_view key, int64_t fallback, int64_t low,
                  int64_t high, const ManifestSound &sound) {
    const toml::node *node = table.get(key);
    if (!node) return fallback;
    auto value = node->value_exact<int64_t>();
    std::string range = std::to_string(low) + "-" + std::to_string(high);
    if (fallback == -1) range = "-1 for the sample's own, or " + range;
    if (!value) {
      error(line_of(*node),
            who(sound) + ": '" + std::string(key) + "' must be an integer (" + range + ")");
      return fallback;
    }
    if ((*value == -1 && fallback == -1) || (*value >= low && *value <= high)) return *value;
    error(line_of(*node), who(sound) + ": " + std::string(key) + " " + std::to_string(*value) +
                              " is out of range (" + range + ")");
    return fallback;
  }

  void index_names() {
    for (size_t i = 0; i < manifest_.samples.size(); ++i) {
      auto [it, fresh] = sampleIndex_.emplace(manifest_.samples[i].name, static_cast<int>(i));
      if (!fresh)
        error(manifest_.samples[i].line,
              "sample '" + it->first + "' is defined twice (first at line " +
                  std::to_string(manifest_.samples[static_cast<size_t>(it->second)].line) + ")");
    }
    for (size_t i = 0; i < raws_.size(); ++i) {
      const ManifestSound &sound = raws_[i].sound;
      if (sound.name.empty()) continue;
      auto [it, fresh] = soundIndex_.emplace(sound.name, static_cast<int>(i));
      if (!fresh)
        error(sound.line, "sound '" + sound.name + "' is defined twice (first at line " +
                              std::to_string(raws_[static_cast<size_t>(it->second)].sound.line) +
                              ")");
    }
  }

  void resolve_sounds() {
    index_names();
    for (RawSound &raw : raws_) resolve_sample(raw);
    for (RawSound &raw : raws_) resolve_group(raw);
    for (RawSound &raw : raws_) manifest_.sounds.push_back(std::move(raw.sound));
  }

  void resolve_sample(RawSound &raw) {
    ManifestSound &sound = raw.sound;
    if (sound.group) {
      if (!raw.sampleName.empty())
        error(raw.sampleLine,
              who(sound) + ": a group plays its elements' samples; remove 'sample'");
      return;
    }
    if (sound.random) error(sound.line, who(sound) + ": random needs a group of element sounds");
    if (raw.sampleLine == 0) return error(sound.line, who(sound) + " needs sample = \"...\"");
    auto it = sampleIndex_.find(raw.sampleName);
    if (it == sampleIndex_.end())
      return error(raw.sampleLine, who(sound) + ": unknown sample '" + raw.sampleName + "'");
    sound.sample = it->second;
  }

  void resolve_group(RawSound &raw) {
    ManifestSound &sound = raw.sound;
    if (!sound.group) return;
    if (raw.groupNames.empty()) {
      error(raw.groupLine, who(sound) + ": the group is empty" +
                               (sound.random ? " (a random group needs elements)" : ""));
      return;
    }
    for (const auto &[name, line] : raw.groupNames) {
      auto it = soundIndex_.find(name);
      if (it == soundIndex_.end()) {
        error(line, who(sound) + ": unknown sound '" + name + "' in the group");
        continue;
      }
      const RawSound &element = raws_[static_cast<size_t>(it->second)];
      if (element.sound.group) {
        error(line, who(sound) + ": element '" + name + "' is itself a group");
        continue;
      }
      sound.elements.push_back(it->second);
    }
    if (sound.elements.size() == raw.groupNames.size())
      sound.sample = raws_[static_cast<size_t>(sound.elements.front())].sound.sample;
  }

  std::string source_;
  fs::path dir_;
  Manifest manifest_;
  std::vector<RawSound> raws_;
  std::map<std::string, int> sampleIndex_, soundIndex_;
  std::vector<std::pair<int, std::string>> errors_;
};

} // namespace

Manifest parse_manifest(std::string_view text, const std::string &source, const fs::path &dir) {
  toml::table root;
  try {
    root = toml::parse(text, source);
  } catch (const toml::parse_error &e) {
    throw ToolError(source + ":" + std::to_string(e.source().begin.line) + ": " +
                    std::string(e.description()));
  }
  return ManifestParser(source, dir).parse(root);
}

Manifest load_manifest(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ToolError("cannot read manifest '" + path.string() + "'");
  std::ostringstream text;
  text << in.rdbuf();
  return parse_manifest(text.str(), path.string(), path.parent_path());
}

} // namespace ksfx
