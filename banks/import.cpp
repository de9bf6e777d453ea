// ImportSFXpackage: reads a bank file whole into the lowest free package slot, checks it with the
// bank checker, loads every sample's WAV file and turns the stored indexes into references.
// Where pointers are 32 bits and the bodies of "SFX ", "SMP " and (when a record has a list)
// "LIST" start 4-aligned, the records, samples and lists are used in place in the image.
// Otherwise (wider pointers, or an extra chunk of odd size before one of those bodies) one extra
// block per bank holds the native records, samples and lists decoded from the image, which keeps
// its file words; the choice is made per bank, so every build imports every bank the checker
// accepts.
// Choices: the whole bank is checked before any sample file is read (banks/bank_check.h says
// what is refused), so a malformed bank fails with -1 without reading a sample or showing a
// message. A slot being loaded is never handed out again: an import started from inside the
// virtual-path callback takes the next free slot, and the discards refuse the loading slot.
// Each sample's image is its file's bytes, unchanged.
#include "banks/bank_check.h"
#include "banks/package_table.h"
#include "engine/records.h"
#include "exports/boundary.h"
#include "files/virtual_path.h"
#include "ksnd32.h"
#include "platform/memory.h"
#include "platform/message_box.h"

#include <cstring>

namespace {

using banks::BankCheck;
using banks::PackageEntry;

// Where the decoded records live: in the image, or in the native block.
struct Storage {
  SoundRecord *sounds;
  SampleRecord *samples;
  SoundRecord **lists; // one entry per LIST word the records use
  void *native;        // the extra block, null where records are used in place
};

enum class SampleLoad { kDone, kFailed, kMissing };

// Marks a slot as loading for the length of one import.
class LoadingSlot {
public:
  explicit LoadingSlot(int32_t slot) : slot_(slot) { banks::set_slot_loading(slot_, true); }
  ~LoadingSlot() { banks::set_slot_loading(slot_, false); }
  LoadingSlot(const LoadingSlot &) = delete;
  LoadingSlot &operator=(const LoadingSlot &) = delete;

private:
  int32_t slot_;
};

int32_t lowest_free_slot() {
  for (int32_t slot = 0; slot < banks::kPackageSlots; ++slot)
    if (!banks::g_packages[slot].inUse && !banks::slot_loading(slot)) return slot;
  return -1;
}

// Reads a whole file with KSFX_FileRead; *size is the size of the block it handed back.
uint8_t *read_whole(const char *fileName, uint64_t *size) {
  if (!fileName) return nullptr;
  void *image = KSFX_FileRead(fileName, nullptr);
  *size = platform::block_size(image);
  return static_cast<uint8_t *>(image);
}

bool usable_in_place(const BankCheck &check) {
  return engine::kRecordsInPlace && check.sfx.at.body % 4 == 0 && check.smp.at.body % 4 == 0 &&
         (check.listWords == 0 || check.list.at.body % 4 == 0);
}

// Points the storage into the image, or allocates the native block for it.
bool make_storage(uint8_t *image, const BankCheck &check, Storage *out) {
  if (usable_in_place(check)) {
    *out = Storage{reinterpret_cast<SoundRecord *>(image + check.sfx.at.body),
                   reinterpret_cast<SampleRecord *>(image + check.smp.at.body),
                   reinterpret_cast<SoundRecord **>(image + check.list.at.body), nullptr};
    return true;
  }
  std::size_t soundBytes = sizeof(SoundRecord) * check.soundCount;
  std::size_t sampleBytes = sizeof(SampleRecord) * check.sampleCount;
  std::size_t listBytes = sizeof(SoundRecord *) * (std::size_t)check.listWords;
  auto *block =
      static_cast<uint8_t *>(platform::global_alloc(soundBytes + sampleBytes + listBytes));
  if (!block) return false;
  *out = Storage{reinterpret_cast<SoundRecord *>(block),
                 reinterpret_cast<SampleRecord *>(block + soundBytes),
                 reinterpret_cast<SoundRecord **>(block + soundBytes + sampleBytes), block};
  return true;
}

// Resolves, reads and sets up every sample in order. *loaded counts the WAV blocks now owned by
// the samples; `path` holds the last resolved name. A file under 12 bytes cannot hold a RIFF
// header and fails the set-up unread.
SampleLoad load_samples(const uint8_t *image, const BankCheck &check, const Storage &storage,
                        uint32_t *loaded, char *path) {
  const char *name = reinterpret_cast<const char *>(image + check.name.at.body);
  for (uint32_t i = 0; i < check.sampleCount; ++i) {
    if (!VirtualizeFilePath(name, path)) return SampleLoad::kFailed;
    uint64_t wavSize = 0;
    uint8_t *wav = read_whole(path, &wavSize);
    if (!wav) return SampleLoad::kMissing;
    SampleRecord &sample = storage.samples[i];
    sample = banks::decode_sample(banks::sample_bytes(image, check, i));
    if (wavSize < 12 || !KSFX_SetupWAVsample(&sample, wav)) {
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
uint64_t link_list(const uint8_t *image, const BankCheck &check, const Storage &storage,
                   uint64_t cursor) {
  for (;;) {
    uint32_t number = banks::list_word(image, check, cursor);
    storage.lists[cursor++] = number ? &storage.sounds[number - 1] : nullptr;
    if (!number) return cursor;
  }
}

// Decodes every record with its references; in place each record is read whole before it is
// written back over its own bytes.
void fix_up_sounds(const uint8_t *image, const BankCheck &check, const Storage &storage) {
  uint64_t cursor = 0;
  for (uint32_t r = 0; r < check.soundCount; ++r) {
    SoundRecord record = banks::decode_sound(banks::sound_bytes(image, check, r));
    record.sample = &storage.samples[record.sampleIndex];
    record.baseVolume = (uint32_t)record.volume;
    if (banks::sound_has_list(image, check, r)) {
      record.list = &storage.lists[cursor];
      cursor = link_list(image, check, storage, cursor);
    }
    storage.sounds[r] = record;
  }
}

void publish(PackageEntry &entry, uint8_t *image, const BankCheck &check, const Storage &storage) {
  entry.image = image;
  entry.soundCount = check.soundCount;
  entry.sampleCount = check.sampleCount;
  entry.sounds = storage.sounds;
  entry.samples = storage.samples;
  entry.sampleNames = reinterpret_cast<char *>(image + check.name.at.body);
  entry.soundIds =
      check.sfid.found ? reinterpret_cast<char *>(image + check.sfid.at.body) : nullptr;
  entry.native = storage.native;
  entry.inUse = 1;
}

// Releases everything this import took and leaves the slot free.
int32_t fail(PackageEntry &entry, uint8_t *image, const Storage &storage, uint32_t loaded) {
  for (uint32_t i = 0; i < loaded; ++i) platform::global_free(storage.samples[i].image);
  platform::global_free(storage.native);
  platform::global_free(image);
  entry = PackageEntry{};
  return -1;
}

int32_t import_bank(const char *fileName) {
  int32_t slot = lowest_free_slot();
  if (slot < 0) return -1;
  PackageEntry &entry = banks::g_packages[slot];
  if (entry.image) {
    DiscardPackageSampleBits(slot);
    DiscardSFXpackage(slot);
  }
  LoadingSlot loading(slot);

  uint64_t size = 0;
  uint8_t *image = read_whole(fileName, &size);
  if (!image) return -1;
  entry.image = image;
  const BankCheck check = banks::check_bank(image, size);
  Storage storage{};
  if (check.refusal != banks::Refusal::kNone || !make_storage(image, check, &storage))
    return fail(entry, image, storage, 0);

  char path[files::kResolvedNameSize] = {};
  uint32_t loaded = 0;
  SampleLoad samples = load_samples(image, check, storage, &loaded, path);
  if (samples != SampleLoad::kDone) {
    fail(entry, image, storage, loaded);
    if (samples == SampleLoad::kMissing)
      platform::message_box(path, "Couldn't Find Sample File!", platform::kMessageBoxExclamationOk);
    return -1;
  }
  fix_up_sounds(image, check, storage);
  publish(entry, image, check, storage);
  return slot;
}

} // namespace

extern "C" int32_t ImportSFXpackage(const char *fileName) {
  return exports::guarded(-1, [&] { return import_bank(fileName); });
}
