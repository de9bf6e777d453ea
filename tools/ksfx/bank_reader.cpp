// The bank reader: the library's bank checker, then the records, lists and names read from the
// places it found, which it has checked to lie inside the file.
#include "bank_reader.h"

#include "banks/bank_check.h"
#include "error.h"
#include "file_util.h"
#include "text.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <ksnd32.h>

namespace ksfx {
namespace {

// `count` terminated strings from the start of a chunk body the checker accepted.
std::vector<std::string> strings_at(const uint8_t *body, uint32_t count) {
  std::vector<std::string> out;
  const char *at = reinterpret_cast<const char *>(body);
  for (uint32_t i = 0; i < count; ++i, at += out.back().size() + 1) out.emplace_back(at);
  return out;
}

BankSample sample_of(const SampleRecord &stored, std::string file) {
  return BankSample{std::move(file), stored.length, stored.rate,  stored.volume,
                    stored.pan,      stored.flags,  stored.format};
}

BankSound sound_of(const SoundRecord &r, bool hasList) {
  BankSound s;
  s.id = r.id;
  s.priority = r.priority;
  s.status = r.status;
  s.flags = r.flags;
  s.rate = r.rate;
  s.volume = r.volume;
  s.pan = r.pan;
  s.sampleIndex = r.sampleIndex;
  s.listCount = r.listCount;
  s.hasList = hasList;
  return s;
}

// Hands each record that owns a list the next list of the "LIST" body, as the importer does.
void read_lists(const uint8_t *bytes, const banks::BankCheck &check, BankInfo &bank) {
  uint64_t cursor = 0;
  for (BankSound &sound : bank.sounds) {
    if (!sound.hasList) continue;
    for (uint32_t entry; (entry = banks::list_word(bytes, check, cursor++)) != 0;)
      sound.elements.push_back(entry - 1);
  }
}

} // namespace

BankInfo read_bank(std::span<const uint8_t> data) {
  const uint8_t *bytes = data.data();
  const banks::BankCheck check = banks::check_bank(bytes, data.size());
  if (check.refusal != banks::Refusal::kNone) {
    char reason[256];
    banks::describe_refusal(check, reason, sizeof reason);
    throw ToolError(reason);
  }
  BankInfo bank;
  bank.fileSize = data.size();
  std::vector<std::string> files = strings_at(bytes + check.name.at.body, check.sampleCount);
  for (uint32_t i = 0; i < check.sampleCount; ++i)
    bank.samples.push_back(
        sample_of(banks::decode_sample(banks::sample_bytes(bytes, check, i)), files[i]));
  for (uint32_t k = 0; k < check.soundCount; ++k)
    bank.sounds.push_back(sound_of(banks::decode_sound(banks::sound_bytes(bytes, check, k)),
                                   banks::sound_has_list(bytes, check, k)));
  read_lists(bytes, check, bank);
  bank.hasNames = check.sfid.found;
  if (bank.hasNames) {
    std::vector<std::string> names = strings_at(bytes + check.sfid.at.body, check.soundCount);
    for (uint32_t k = 0; k < check.soundCount; ++k) bank.sounds[k].name = names[k];
  }
  return bank;
}

BankInfo load_bank(const std::filesystem::path &path) {
  std::vector<uint8_t> bytes = read_file(path);
  try {
    return read_bank(bytes);
  } catch (const ToolError &e) {
    throw ToolError(path.string() + ": damaged or not a bank: " + e.what());
  }
}

int find_sound(const BankInfo &bank, std::string_view nameOrNumber) {
  for (size_t k = 0; k < bank.sounds.size(); ++k)
    if (bank.sounds[k].name == nameOrNumber) return static_cast<int>(k);
  int number = -1;
  const char *end = nameOrNumber.data() + nameOrNumber.size();
  auto [ptr, ec] = std::from_chars(nameOrNumber.data(), end, number);
  if (ec != std::errc() || ptr != end || number < 0 ||
      static_cast<size_t>(number) >= bank.sounds.size())
    return -1;
  return number;
}

std::vector<std::string> flag_list(uint16_t flags) {
  static constexpr std::pair<uint16_t, const char *> kNames[] = {{KSFX_RESUME, "resume"},
                                                                 {KSFX_LOOP, "loop"},
                                                                 {KSFX_GROUP, "group"},
                                                                 {KSFX_RANDOM, "random"},
                                                                 {KSFX_3D, "3d"}};
  std::vector<std::string> out;
  uint16_t rest = flags;
  for (auto [bit, name] : kNames) {
    if (!(flags & bit)) continue;
    out.emplace_back(name);
    rest = static_cast<uint16_t>(rest & ~bit);
  }
  if (rest) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%04x", rest);
    out.emplace_back(hex);
  }
  return out;
}

std::string flag_names(uint16_t flags) {
  std::string out;
  for (const std::string &name : flag_list(flags)) join_to(out, ",", name);
  return out.empty() ? "-" : out;
}

} // namespace ksfx
