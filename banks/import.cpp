// ImportSFXpackage: reads a bank file whole into the lowest free package slot, checks it, loads
// every sample's WAV file and turns the stored indexes into references.
// Where pointers are 32 bits the records, samples and lists are used in place in the image (their
// bodies must start 4-aligned); with wider pointers one extra block per bank holds the native
// records, samples and list arrays decoded from the image, which keeps its 32-bit words.
// Choices: the whole bank is checked before any sample file is read, so a malformed bank fails
// with -1 without reading a sample or showing a message. Malformed means: a required chunk
// missing or running past the file, bodies shorter than their counts, a "NAME" body without m
// terminated names, a sampleIndex >= m, a stored status other than 0 (its channel word cannot
// name a channel of this process), a list entry outside 1..n or a list without its 0 inside
// "LIST", fewer lists than records with one, a group without elements, or a random group whose
// listCount is 0 or more than its entries. A WAV file whose RIFF length runs past its end is
// read up to its end.
#include "banks/bank_format.h"
#include "banks/package_table.h"
#include "engine/records.h"
#include "files/virtual_path.h"
#include "ksnd32.h"
#include "platform/memory.h"
#include "platform/message_box.h"

#include <cstring>

namespace {

using banks::Lookup;
using banks::PackageEntry;
using riff::get_le32;

// The chunks of one bank image, all checked to lie inside it.
struct BankView {
  uint8_t *image;
  uint64_t size; // bytes that really exist
  uint16_t soundCount, sampleCount;
  riff::Chunk sfx, smp, list, name, sfid;
  bool hasSfid;
  uint64_t listWords; // LIST words that the records' lists use, terminators included
};

// Where the decoded records live: in the image, or in the native block.
struct Storage {
  SoundRecord *sounds;
  SampleRecord *samples;
  SoundRecord **lists; // one entry per used LIST word
  void *native;        // the extra block, null where records are used in place
};

enum class SampleLoad { kDone, kFailed, kMissing };

int32_t lowest_free_slot() {
  for (int32_t slot = 0; slot < banks::kPackageSlots; ++slot)
    if (!banks::g_packages[slot].inUse) return slot;
  return -1;
}

// Reads a whole file with KSFX_FileRead; *size is the size of the block it handed back.
uint8_t *read_whole(const char *fileName, uint64_t *size) {
  if (!fileName) return nullptr;
  void *image = KSFX_FileRead(fileName, nullptr);
  *size = platform::block_size(image);
  return static_cast<uint8_t *>(image);
}

// The WAV set-up walks up to the image's stated RIFF length. The loaded copy states the file's
// real length instead, so files whose writer left a wrong one (streaming writers leave 0 or
// 0xFFFFFFFF) still load and the walk stays inside the block. False below 12 bytes.
bool bound_wav_length(uint8_t *wav, uint64_t size) {
  if (size < 12 || size - 8 > UINT32_MAX) return false;
  riff::put_le32(wav + 4, (uint32_t)(size - 8));
  return true;
}

bool body_aligned(const riff::Chunk &chunk) {
  return !engine::kRecordsInPlace || chunk.body % 4 == 0;
}

bool find_required(const BankView &view, const char *id, uint64_t minimum, riff::Chunk *out) {
  return banks::find_bank_chunk(view.image, view.size, id, out) == Lookup::kFound &&
         out->size >= minimum;
}

bool names_terminated(const BankView &view) {
  const uint8_t *at = view.image + view.name.body;
  const uint8_t *end = at + view.name.size;
  for (uint32_t i = 0; i < view.sampleCount; ++i) {
    at = static_cast<const uint8_t *>(std::memchr(at, 0, (std::size_t)(end - at)));
    if (!at) return false;
    ++at;
  }
  return true;
}

// Walks the list starting at LIST word `cursor`; false when it leaves the body or names a record
// outside 1..n. *entries receives its length, *cursor moves past its 0.
bool walk_list(const BankView &view, uint64_t *cursor, uint32_t *entries) {
  *entries = 0;
  for (;;) {
    if ((*cursor + 1) * 4 > view.list.size) return false;
    uint32_t number = get_le32(view.image + view.list.body + 4 * (*cursor)++);
    if (number == 0) return true;
    if (number > view.soundCount) return false;
    ++*entries;
  }
}

bool record_consistent(const BankView &view, const uint8_t *record, bool hasList,
                       uint64_t *cursor) {
  if (get_le32(record + banks::kSoundStatusOffset) != 0) return false;
  if (get_le32(record + banks::kSoundSampleIndexOffset) >= view.sampleCount) return false;
  uint16_t flags = riff::get_le16(record + banks::kSoundFlagsOffset);
  uint32_t entries = 0;
  if (get_le32(record + banks::kSoundListOffset) != 0 &&
      (!hasList || !walk_list(view, cursor, &entries)))
    return false;
  if (!(flags & KSFX_GROUP)) return true;
  uint32_t listCount = get_le32(record + banks::kSoundListCountOffset);
  return entries > 0 && (!(flags & KSFX_RANDOM) || (listCount > 0 && listCount <= entries));
}

bool sounds_consistent(BankView *view) {
  Lookup list = banks::find_bank_chunk(view->image, view->size, "LIST", &view->list);
  if (list == Lookup::kTruncated) return false;
  uint64_t cursor = 0;
  for (uint32_t r = 0; r < view->soundCount; ++r) {
    const uint8_t *record = view->image + view->sfx.body + banks::kSoundBytes * r;
    if (!record_consistent(*view, record, list == Lookup::kFound, &cursor)) return false;
  }
  view->listWords = cursor;
  return cursor == 0 || body_aligned(view->list);
}

bool check_bank(BankView *view) {
  if (!banks::is_bank(view->image, view->size)) return false;
  riff::Chunk info{};
  if (!find_required(*view, "INFO", banks::kInfoBodySize, &info)) return false;
  view->sampleCount = riff::get_le16(view->image + info.body);
  view->soundCount = riff::get_le16(view->image + info.body + 2);
  uint64_t m = view->sampleCount, n = view->soundCount;
  if (!find_required(*view, "SMP ", banks::kSampleBytes * m, &view->smp) ||
      !body_aligned(view->smp))
    return false;
  if (!find_required(*view, "NAME", 0, &view->name) || !names_terminated(*view)) return false;
  if (!find_required(*view, "SFX ", banks::kSoundBytes * n, &view->sfx) || !body_aligned(view->sfx))
    return false;
  Lookup sfid = banks::find_bank_chunk(view->image, view->size, "SFID", &view->sfid);
  if (sfid == Lookup::kTruncated) return false;
  view->hasSfid = sfid == Lookup::kFound;
  return sounds_consistent(view);
}

// Points the storage into the image, or allocates the native block for it.
bool make_storage(const BankView &view, Storage *out) {
  if constexpr (engine::kRecordsInPlace) {
    *out = Storage{reinterpret_cast<SoundRecord *>(view.image + view.sfx.body),
                   reinterpret_cast<SampleRecord *>(view.image + view.smp.body),
                   reinterpret_cast<SoundRecord **>(view.image + view.list.body), nullptr};
    return true;
  }
  std::size_t soundBytes = sizeof(SoundRecord) * view.soundCount;
  std::size_t sampleBytes = sizeof(SampleRecord) * view.sampleCount;
  std::size_t listBytes = sizeof(SoundRecord *) * (std::size_t)view.listWords;
  auto *block =
      static_cast<uint8_t *>(platform::global_alloc(soundBytes + sampleBytes + listBytes));
  if (!block) return false;
  *out = Storage{reinterpret_cast<SoundRecord *>(block),
                 reinterpret_cast<SampleRecord *>(block + soundBytes),
                 reinterpret_cast<SoundRecord **>(block + soundBytes + sampleBytes), block};
  return true;
}

// Resolves, reads and sets up every sample in order. *loaded counts the WAV blocks now owned by
// the samples; `path` holds the last resolved name.
SampleLoad load_samples(const BankView &view, const Storage &storage, uint32_t *loaded,
                        char *path) {
  const char *name = reinterpret_cast<const char *>(view.image + view.name.body);
  for (uint32_t i = 0; i < view.sampleCount; ++i) {
    if (!VirtualizeFilePath(name, path)) return SampleLoad::kFailed;
    uint64_t wavSize = 0;
    uint8_t *wav = read_whole(path, &wavSize);
    if (!wav) return SampleLoad::kMissing;
    SampleRecord &sample = storage.samples[i];
    sample = banks::decode_sample(view.image + view.smp.body + banks::kSampleBytes * i);
    if (!bound_wav_length(wav, wavSize) || !KSFX_SetupWAVsample(&sample, wav)) {
      platform::global_free(wav);
      return SampleLoad::kFailed;
    }
    sample.image = wav;
    ++*loaded;
    name += std::strlen(name) + 1;
  }
  return SampleLoad::kDone;
}

// Turns the list starting at `cursor` into references; returns the word after its 0.
uint64_t link_list(const BankView &view, const Storage &storage, uint64_t cursor) {
  for (;;) {
    uint32_t number = get_le32(view.image + view.list.body + 4 * cursor);
    storage.lists[cursor++] = number ? &storage.sounds[number - 1] : nullptr;
    if (!number) return cursor;
  }
}

// Decodes every record with its references; in place each record is read whole before it is
// written back over its own bytes.
void fix_up_sounds(const BankView &view, const Storage &storage) {
  uint64_t cursor = 0;
  for (uint32_t r = 0; r < view.soundCount; ++r) {
    const uint8_t *stored = view.image + view.sfx.body + banks::kSoundBytes * r;
    SoundRecord record = banks::decode_sound(stored);
    record.sample = &storage.samples[record.sampleIndex];
    record.baseVolume = (uint32_t)record.volume;
    if (get_le32(stored + banks::kSoundListOffset) != 0) {
      record.list = &storage.lists[cursor];
      cursor = link_list(view, storage, cursor);
    }
    storage.sounds[r] = record;
  }
}

#if UINTPTR_MAX > 0xFFFFFFFFu
void keep_native(PackageEntry &entry, void *native) { entry.native = native; }
#else
void keep_native(PackageEntry &, void *) {}
#endif

void publish(PackageEntry &entry, const BankView &view, const Storage &storage) {
  entry.soundCount = view.soundCount;
  entry.sampleCount = view.sampleCount;
  entry.sounds = storage.sounds;
  entry.samples = storage.samples;
  entry.sampleNames = reinterpret_cast<char *>(view.image + view.name.body);
  entry.soundIds = view.hasSfid ? reinterpret_cast<char *>(view.image + view.sfid.body) : nullptr;
  keep_native(entry, storage.native);
  entry.inUse = 1;
}

// Releases everything this import took and leaves the slot free.
int32_t fail(PackageEntry &entry, const Storage &storage, uint32_t loaded) {
  for (uint32_t i = 0; i < loaded; ++i) platform::global_free(storage.samples[i].image);
  platform::global_free(storage.native);
  platform::global_free(entry.image);
  entry = PackageEntry{};
  return -1;
}

} // namespace

extern "C" int32_t ImportSFXpackage(const char *fileName) {
  int32_t slot = lowest_free_slot();
  if (slot < 0) return -1;
  PackageEntry &entry = banks::g_packages[slot];
  if (entry.image) {
    DiscardPackageSampleBits(slot);
    DiscardSFXpackage(slot);
  }

  BankView view{};
  view.image = read_whole(fileName, &view.size);
  if (!view.image) return -1;
  entry.image = view.image;
  Storage storage{};
  if (!check_bank(&view) || !make_storage(view, &storage)) return fail(entry, storage, 0);

  char path[files::kResolvedNameSize] = {};
  uint32_t loaded = 0;
  SampleLoad samples = load_samples(view, storage, &loaded, path);
  if (samples != SampleLoad::kDone) {
    fail(entry, storage, loaded);
    if (samples == SampleLoad::kMissing)
      platform::message_box(path, "Couldn't Find Sample File!", platform::kMessageBoxExclamationOk);
    return -1;
  }
  fix_up_sounds(view, storage);
  publish(entry, view, storage);
  return slot;
}
