// SoundDup, SoundDupKill and SoundDupKillAll: copies of playing sounds in the duplicate pool,
// named by sound numbers -2 - slot. Each holds the audio lock for its whole run.
// Choices: a bank outside 0..31 or a duplicate number past dupCount is refused like a negative
// bank. SoundDupKillAll given a sound number of 0 or above stops that sound and every copy made
// from that sound number.
#include "banks/duplicates.h"

#include "banks/package_table.h"
#include "engine/lock.h"
#include "engine/state.h"
#include "ksnd32.h"

namespace {

using banks::g_duplicates;

bool guards_pass(int32_t bank) {
  return engine::g_state.initialised && bank >= 0 && bank < banks::kPackageSlots;
}

// The slot a duplicate number names, or -1 when it names none of the pool's slots.
int32_t slot_of(int32_t sound) {
  if (sound > -2) return -1;
  int64_t slot = -(int64_t)sound - 2;
  return slot < g_duplicates.dupCount ? (int32_t)slot : -1;
}

int32_t lowest_free_slot() {
  for (int32_t slot = 0; slot < g_duplicates.dupCount; ++slot)
    if (g_duplicates.slots[slot].id == -1) return slot;
  return -1;
}

} // namespace

extern "C" {

int32_t SoundDup(int32_t bank, int32_t sound) {
  engine::AudioLock lock;
  if (!guards_pass(bank)) return -1;
  const banks::PackageEntry *entry = banks::loaded_package(bank);
  if (!entry || !entry->sounds || sound < 0 || (uint32_t)sound >= entry->soundCount) return -1;
  const SoundRecord &source = entry->sounds[sound];
  if (source.status != 1) return sound;
  int32_t slot = lowest_free_slot();
  if (slot < 0) return -1;
  SoundRecord &copy = g_duplicates.slots[slot];
  copy = source;
  copy.id = -2 - slot;
  copy.status = 0;
  copy.channel = nullptr;
  g_duplicates.sources[slot] = sound;
  return -2 - slot;
}

int32_t SoundDupKill(int32_t bank, int32_t sound) {
  engine::AudioLock lock;
  if (!guards_pass(bank)) return 0;
  int32_t slot = slot_of(sound);
  if (slot < 0 || g_duplicates.slots[slot].id == -1) return 0;
  SoundStop(bank, sound);
  g_duplicates.slots[slot].id = -1;
  return 1;
}

int32_t SoundDupKillAll(int32_t bank, int32_t sound) {
  engine::AudioLock lock;
  if (!guards_pass(bank) || sound == -1) return 0;
  SoundRecord *record = SoundPtr(bank, sound);
  if (!record || record->id == -1) return 0;
  int32_t source = sound >= 0 ? sound : g_duplicates.sources[slot_of(sound)];
  SoundStop(bank, sound);
  for (int32_t slot = 0; slot < g_duplicates.dupCount; ++slot)
    if (g_duplicates.sources[slot] == source && g_duplicates.slots[slot].id != -1)
      KSFX_StopSFX(&g_duplicates.slots[slot]);
  return 1;
}

} // extern "C"
