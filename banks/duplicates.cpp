// SoundDup, SoundDupKill and SoundDupKillAll: copies of playing sounds in the duplicate pool,
// named by sound numbers -2 - slot. Each holds the audio lock for its whole run.
// Choices: a bank outside 0..31 or a duplicate number past dupCount is refused like a negative
// bank. SoundDupKillAll given a sound number of 0 or above stops that sound and every copy made
// from that sound number.
// One departure, so that a host that stops every copy it knows of leaves no channel playing: a
// slot is free only when its id is -1 and no channel holds its record. A suspended copy, and one
// that resumed, read id -1 yet stay on a channel; SoundDup never hands such a slot out again
// (it takes the next free one, or returns -1), and SoundDupKill and SoundDupKillAll treat it as
// in use. SoundDupKill of a copy that waits suspended first withdraws it from its channel (the
// channel forgets it and its resume marker becomes 0), so a killed copy never comes back.
#include "banks/duplicates.h"

#include "banks/package_table.h"
#include "engine/channels.h"
#include "engine/lock.h"
#include "engine/playback.h"
#include "engine/state.h"
#include "exports/boundary.h"
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

// Free: id -1 and on no channel, neither as the current record nor as a suspended one.
bool slot_is_free(int32_t slot) {
  const SoundRecord &record = g_duplicates.slots[slot];
  return record.id == -1 && !engine::channel_holds(&record);
}

int32_t lowest_free_slot() {
  for (int32_t slot = 0; slot < g_duplicates.dupCount; ++slot)
    if (slot_is_free(slot)) return slot;
  return -1;
}

int32_t duplicate(int32_t bank, int32_t sound) {
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

int32_t kill_duplicate(int32_t bank, int32_t sound) {
  engine::AudioLock lock;
  if (!guards_pass(bank)) return 0;
  int32_t slot = slot_of(sound);
  if (slot < 0 || slot_is_free(slot)) return 0;
  engine::withdraw_suspended(&g_duplicates.slots[slot]);
  SoundStop(bank, sound);
  g_duplicates.slots[slot].id = -1;
  return 1;
}

int32_t kill_all_duplicates(int32_t bank, int32_t sound) {
  engine::AudioLock lock;
  if (!guards_pass(bank) || sound == -1) return 0;
  SoundRecord *record = SoundPtr(bank, sound);
  if (!record) return 0;
  int32_t slot = slot_of(sound);
  if (sound >= 0 ? record->id == -1 : slot_is_free(slot)) return 0;
  int32_t source = sound >= 0 ? sound : g_duplicates.sources[slot];
  SoundStop(bank, sound);
  for (int32_t other = 0; other < g_duplicates.dupCount; ++other)
    if (g_duplicates.sources[other] == source && !slot_is_free(other))
      KSFX_StopSFX(&g_duplicates.slots[other]);
  return 1;
}

} // namespace

extern "C" {

int32_t SoundDup(int32_t bank, int32_t sound) {
  return exports::guarded(-1, [=] { return duplicate(bank, sound); });
}

int32_t SoundDupKill(int32_t bank, int32_t sound) {
  return exports::guarded(0, [=] { return kill_duplicate(bank, sound); });
}

int32_t SoundDupKillAll(int32_t bank, int32_t sound) {
  return exports::guarded(0, [=] { return kill_all_duplicates(bank, sound); });
}

} // extern "C"
