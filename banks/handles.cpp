// The handle API: turns (bank, sound) pairs into SoundRecords and hands them to the engine. Every
// operation holds the audio lock for its whole run, since end-of-sample callbacks change records
// on the audio library's thread.
// Choices: a handle outside the limits (bank outside 0..31, a sound number not below the bank's
// soundCount or naming a free slot, -1, a duplicate number past dupCount, or any duplicate
// number while the library is not started) is refused with the operation's refusal value. A
// duplicate number needs no loaded bank. SoundDbgInfo of a bank outside 0..31 reports an empty
// entry.
#include "banks/duplicates.h"
#include "banks/package_table.h"
#include "engine/channels.h"
#include "engine/lock.h"
#include "engine/state.h"
#include "exports/boundary.h"
#include "ksnd32.h"

namespace {

struct HandleState {
  SoundDebugInfo debug; // the block SoundDbgInfo returns; host thread, under the lock
  SoundDebugInfo none;  // all zero: what SoundDbgInfo returns when it fails
};
HandleState g_handles;

SoundRecord *duplicate_record(int32_t sound) {
  if (!engine::g_state.initialised) return nullptr;
  int64_t slot = -(int64_t)sound - 2;
  if (slot >= banks::g_duplicates.dupCount) return nullptr;
  return &banks::g_duplicates.slots[slot];
}

SoundRecord *bank_record(int32_t bank, int32_t sound) {
  const banks::PackageEntry *entry = banks::loaded_package(bank);
  if (!entry || (uint32_t)sound >= entry->soundCount) return nullptr;
  return &entry->sounds[sound];
}

// The record a handle names, or null for a handle outside the limits.
SoundRecord *record_for(int32_t bank, int32_t sound) {
  if (bank < 0 || bank >= banks::kPackageSlots || sound == -1) return nullptr;
  return sound < 0 ? duplicate_record(sound) : bank_record(bank, sound);
}

} // namespace

extern "C" {

SoundRecord *SoundPtr(int32_t bank, int32_t sound) {
  return exports::guarded<SoundRecord *>(nullptr, [&] {
    engine::AudioLock lock;
    return record_for(bank, sound);
  });
}

int32_t SoundPlay(int32_t bank, int32_t sound) {
  return exports::guarded(0, [&] {
    engine::AudioLock lock;
    SoundRecord *record = record_for(bank, sound);
    return record ? KSFX_PlaySFX(record) : 0;
  });
}

int32_t SoundPlace(int32_t bank, int32_t sound, int32_t x, int32_t y) {
  return exports::guarded(0, [&] {
    engine::AudioLock lock;
    SoundRecord *record = record_for(bank, sound);
    return record ? KSFX_Play3DSFX(record, (int16_t)x, (int16_t)y) : 0;
  });
}

int32_t SoundUpdate(int32_t bank, int32_t sound, int32_t rate, int32_t volume, int32_t pan) {
  return exports::guarded(0, [&] {
    engine::AudioLock lock;
    SoundRecord *record = record_for(bank, sound);
    return record ? KSFX_UpdateSFX(record, rate, volume, pan) : 0;
  });
}

void SoundStop(int32_t bank, int32_t sound) {
  exports::guarded([&] {
    engine::AudioLock lock;
    if (SoundRecord *record = record_for(bank, sound)) KSFX_StopSFX(record);
  });
}

int32_t IsSoundPlaying(int32_t bank, int32_t sound) {
  return exports::guarded(0, [&] {
    engine::AudioLock lock;
    SoundRecord *record = record_for(bank, sound);
    return record && record->status == 1 ? 1 : 0;
  });
}

int32_t IsSoundLoop(int32_t bank, int32_t sound) {
  return exports::guarded(0, [&] {
    engine::AudioLock lock;
    SoundRecord *record = record_for(bank, sound);
    return record && (record->flags & (KSFX_LOOP | KSFX_GROUP)) ? 1 : 0;
  });
}

SoundDebugInfo *SoundDbgInfo(int32_t bank) {
  return exports::guarded(&g_handles.none, [&] {
    engine::AudioLock lock;
    const banks::PackageEntry none{};
    bool inTable = bank >= 0 && bank < banks::kPackageSlots;
    const banks::PackageEntry &entry = inTable ? banks::g_packages[bank] : none;
    g_handles.debug =
        SoundDebugInfo{entry.soundCount,      entry.sampleCount, entry.sounds,  entry.samples,
                       &engine::g_idleRecord, entry.sampleNames, entry.soundIds};
    return &g_handles.debug;
  });
}

} // extern "C"
