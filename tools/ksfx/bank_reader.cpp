// The bank reader: a bounded chunk walk, then every count, index and list checked against the
// bodies that really exist before anything is taken from them.
#include "bank_reader.h"

#include "error.h"
#include "file_util.h"
#include "text.h"

#include <charconv>
#include <cstdio>
#include <ksnd32.h>

namespace ksfx {
namespace {

constexpr uint32_t kSoundBytes = 60; // on-disk SoundRecord: fifteen 32-bit words
constexpr uint32_t kSampleBytes = 28;

struct Walk {
  Bytes data;
  size_t limit;

  Chunk require(std::string_view id) const {
    auto chunk = find_chunk(data, id, limit);
    if (!chunk) throw ToolError("no \"" + std::string(id) + "\" chunk");
    check_fits(*chunk, id);
    return *chunk;
  }
  void check_fits(const Chunk &chunk, std::string_view id) const {
    if (!chunk.bodyFits)
      throw ToolError("the \"" + std::string(id) + "\" chunk (" + std::to_string(chunk.size) +
                      " bytes at offset " + std::to_string(chunk.offset) +
                      ") runs past the end of the file");
  }
};

// `count` zero-terminated strings from a chunk body; throws when they do not all fit.
std::vector<std::string> read_strings(Bytes data, const Chunk &chunk, size_t count,
                                      std::string_view what) {
  std::vector<std::string> out;
  size_t at = chunk.body(), end = chunk.body() + chunk.size;
  while (out.size() < count) {
    size_t stop = at;
    while (stop < end && data[stop] != 0) ++stop;
    if (stop >= end)
      throw ToolError("the \"" + std::string(what) + "\" chunk holds " +
                      std::to_string(out.size()) + " names, " + std::to_string(count) +
                      " expected");
    out.emplace_back(reinterpret_cast<const char *>(data.data() + at), stop - at);
    at = stop + 1;
  }
  return out;
}

BankSound read_sound(Bytes data, size_t at) {
  BankSound s;
  s.id = static_cast<int32_t>(get_le32(data, at));
  s.priority = get_le32(data, at + 4);
  s.status = get_le32(data, at + 8);
  s.flags = get_le16(data, at + 16);
  s.rate = static_cast<int32_t>(get_le32(data, at + 24));
  s.volume = static_cast<int32_t>(get_le32(data, at + 28));
  s.pan = static_cast<int32_t>(get_le32(data, at + 32));
  s.hasList = get_le32(data, at + 44) != 0;
  s.listCount = get_le32(data, at + 52);
  s.sampleIndex = get_le32(data, at + 56);
  return s;
}

BankSample read_sample(Bytes data, size_t at) {
  BankSample s;
  s.length = get_le32(data, at + 8);
  s.rate = get_le32(data, at + 12);
  s.volume = static_cast<int32_t>(get_le32(data, at + 16));
  s.pan = static_cast<int32_t>(get_le32(data, at + 20));
  s.flags = get_le16(data, at + 24);
  s.format = get_le16(data, at + 26);
  return s;
}

// Hands each record that owns a list the next list of the "LIST" body, as the importer does.
void read_lists(const Walk &walk, BankInfo &bank) {
  bool anyList = false;
  for (const BankSound &s : bank.sounds) anyList = anyList || s.hasList;
  if (!anyList) return;
  Chunk list = walk.require("LIST");
  size_t at = list.body(), end = list.body() + (list.size & ~3u);
  uint32_t n = static_cast<uint32_t>(bank.sounds.size());
  for (size_t k = 0; k < bank.sounds.size(); ++k) {
    BankSound &sound = bank.sounds[k];
    if (!sound.hasList) continue;
    for (;;) {
      if (at + 4 > end)
        throw ToolError("the \"LIST\" chunk ends before the list of sound " + std::to_string(k) +
                        " does");
      uint32_t entry = get_le32(walk.data, at);
      at += 4;
      if (entry == 0) break;
      if (entry > n)
        throw ToolError("sound " + std::to_string(k) + " lists sound " + std::to_string(entry) +
                        " (entries count from 1 to " + std::to_string(n) + ")");
      sound.elements.push_back(entry - 1);
    }
  }
}

} // namespace

BankInfo read_bank(Bytes data) {
  if (data.size() < 12) throw ToolError("too short to be a sound bank");
  if (!chunk_id_is(data, 0, "RIFF") || !chunk_id_is(data, 8, "KSFX"))
    throw ToolError("not a sound bank (no RIFF form \"KSFX\" header)");
  Walk walk{data, static_cast<size_t>(12ull + get_le32(data, 4))};
  BankInfo bank;
  bank.fileSize = data.size();

  Chunk info = walk.require("INFO");
  if (info.size < 4) throw ToolError("the \"INFO\" chunk is shorter than 4 bytes");
  uint32_t m = get_le16(data, info.body()), n = get_le16(data, info.body() + 2);

  Chunk sfx = walk.require("SFX ");
  if (sfx.size / kSoundBytes < n)
    throw ToolError("the \"SFX \" chunk holds " + std::to_string(sfx.size / kSoundBytes) +
                    " sounds, INFO counts " + std::to_string(n));
  Chunk smp = walk.require("SMP ");
  if (smp.size / kSampleBytes < m)
    throw ToolError("the \"SMP \" chunk holds " + std::to_string(smp.size / kSampleBytes) +
                    " samples, INFO counts " + std::to_string(m));
  Chunk names = walk.require("NAME");
  std::vector<std::string> files = read_strings(data, names, m, "NAME");

  for (uint32_t i = 0; i < m; ++i) {
    bank.samples.push_back(read_sample(data, smp.body() + kSampleBytes * i));
    bank.samples.back().file = files[i];
  }
  for (uint32_t k = 0; k < n; ++k) {
    bank.sounds.push_back(read_sound(data, sfx.body() + kSoundBytes * k));
    if (bank.sounds.back().sampleIndex >= m)
      throw ToolError("sound " + std::to_string(k) + " plays sample " +
                      std::to_string(bank.sounds.back().sampleIndex) + ", the bank has " +
                      std::to_string(m));
  }
  read_lists(walk, bank);

  if (auto sfid = find_chunk(data, "SFID", walk.limit)) {
    walk.check_fits(*sfid, "SFID");
    std::vector<std::string> soundNames = read_strings(data, *sfid, n, "SFID");
    for (uint32_t k = 0; k < n; ++k) bank.sounds[k].name = soundNames[k];
    bank.hasNames = true;
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

std::string flag_names(uint16_t flags) {
  static constexpr std::pair<uint16_t, const char *> kNames[] = {{KSFX_RESUME, "resume"},
                                                                 {KSFX_LOOP, "loop"},
                                                                 {KSFX_GROUP, "group"},
                                                                 {KSFX_RANDOM, "random"},
                                                                 {KSFX_3D, "3d"}};
  std::string out;
  uint16_t rest = flags;
  for (auto [bit, name] : kNames) {
    if (!(flags & bit)) continue;
    join_to(out, ",", name);
    rest = static_cast<uint16_t>(rest & ~bit);
  }
  if (rest) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%04x", rest);
    join_to(out, ",", hex);
  }
  return out.empty() ? "-" : out;
}

} // namespace ksfx
