// Effect playback: choosing and taking channels, starting samples, groups, stopping, updating,
// and the end-of-sample callback that ends sounds, moves groups on and resumes suspended ones.
// Choices beyond the documented steps, all so that bad records never divide by zero, read past
// a list or leave a channel held by nothing:
//  - KSFX_PlaySFX refuses with code 6 (nothing it can put on a channel) a null record, a plain
//    record without a sample, a group whose list is null or starts with a null entry, and a random
//    group with listCount 0; the callback ends such a group instead of moving it on.
//  - A random pick never lands past the list's null entry: it divides by listCount, or by the
//    number of entries when the list is shorter than listCount.
//  - A sequential group resumed on its last element ends when that element ends; an element
//    without a sample, or one the audio library does not confirm, ends the group in the callback.
//  - The interrupter that ends when a suspended record resumes also gets channel 0.
//  - Stop and update reach a channel only when the record plays (status 1), its channel is an
//    entry of the live table, and that entry holds the record (as its current record, or as its
//    suspended one: a suspended group keeps status 1 while it waits). A record left playing across
//    a restart is held by no entry of the new table, wherever that table lies.
// One departure, so that a host that stops every sound it knows of, repeating while any reports
// playing, always ends with every channel idle: a suspended record that was played again while
// it waited (it reads as not playing) and still plays on another channel when its interrupter
// ends is not resumed; the suspension is dropped and the channel becomes idle. So every busy
// channel's current record has status 1 and names that channel, and no record is current on
// two channels.
#include "engine/playback.h"

#include "engine/channels.h"
#include "engine/lock.h"
#include "engine/state.h"
#include "exports/boundary.h"

namespace engine {
namespace {

// User-data slot 1 of a sample handle: 1 while a suspended record waits behind the sound.
constexpr uint32_t kMarkerSlot = 1;
constexpr intptr_t kNoResume = 0;
constexpr intptr_t kResume = 1;

bool has(const SoundRecord *record, uint16_t flag) { return (record->flags & flag) != 0; }
bool is_idle(const Channel &channel) { return channel.current == &g_idleRecord; }
int32_t own_or(int32_t value, int32_t sampleValue) { return value == -1 ? sampleValue : value; }

// Whether a record can be given a channel at all (see the header comment).
bool playable(const SoundRecord *record) {
  if (!has(record, KSFX_GROUP)) return record->sample != nullptr;
  if (record->list == nullptr || record->list[0] == nullptr) return false;
  return !has(record, KSFX_RANDOM) || record->listCount > 0;
}

// Entries a random pick may land on: listCount, bounded by the list's null entry.
uint32_t random_range(const SoundRecord *group) {
  uint32_t n = 0;
  while (n < group->listCount && group->list[n] != nullptr) ++n;
  return n;
}

void pick_random_entry(SoundRecord *group) {
  group->listPos = group->list + next_random() % random_range(group);
}

SoundRecord *current_element(const SoundRecord *group) {
  return group->listPos != nullptr ? *group->listPos : nullptr;
}

// Copies the element's sample, rate, volume, pan and resume bit into the group.
void LoadGroupElement(SoundRecord *group) {
  const SoundRecord *element = *group->listPos;
  group->sample = element->sample;
  group->rate = element->rate;
  group->volume = element->volume;
  group->pan = element->pan;
  group->flags = (uint16_t)((group->flags & ~KSFX_RESUME) | (element->flags & KSFX_RESUME));
}

void ApplySoundParams(const SoundRecord *record, HSAMPLE handle) {
  const SampleRecord *s = record->sample;
  AIL_set_sample_playback_rate(handle, own_or(record->rate, (int32_t)s->rate));
  AIL_set_sample_volume(handle, own_or(record->volume, s->volume));
  AIL_set_sample_pan(handle, own_or(record->pan, s->pan));
}

void PrepareSample(const SoundRecord *record, HSAMPLE handle) {
  const SampleRecord *s = record->sample;
  AIL_set_sample_address(handle, s->data, s->length);
  AIL_set_sample_type(handle, s->format, (s->flags & KSFX_SAMPLE_16BIT) ? DIG_PCM_SIGNED : 0);
  ApplySoundParams(record, handle);
  AIL_set_sample_loop_count(handle, has(record, KSFX_LOOP) ? 0 : 1);
}

// Starts the record (a group: its current element) on the channel. 1 when the audio library
// reports it playing; otherwise nothing more changes.
int32_t StartOnChannel(SoundRecord *record, Channel &channel, intptr_t marker) {
  if (has(record, KSFX_GROUP)) {
    if (current_element(record) == nullptr) return 0;
    LoadGroupElement(record);
  }
  if (record->sample == nullptr) return 0;
  PrepareSample(record, channel.handle);
  AIL_set_sample_user_data(channel.handle, kMarkerSlot, marker);
  AIL_start_sample(channel.handle);
  if (AIL_sample_status(channel.handle) != SMP_PLAYING) return 0;
  channel.current = record;
  record->status = 1;
  record->channel = &channel;
  return 1;
}

// A finished record: a duplicate's negative id becomes -1, freeing its slot.
void release_id(SoundRecord *record) {
  if (record->id < 0) record->id = -1;
}

void end_record(SoundRecord *record, Channel &channel) {
  release_id(record);
  record->channel = nullptr;
  record->status = 0;
  channel.current = &g_idleRecord;
}

// The live channel that holds this playing record, as its current record or as a suspended
// group; null for any other record, among them one left playing across a restart.
Channel *holding_channel(const SoundRecord *record) {
  if (record->status != 1 || g_channels.table == nullptr) return nullptr;
  const auto at = reinterpret_cast<uintptr_t>(record->channel);
  const auto first = reinterpret_cast<uintptr_t>(g_channels.table);
  if (at < first || (at - first) % sizeof(Channel) != 0) return nullptr;
  const uintptr_t k = (at - first) / sizeof(Channel);
  if (k >= live_channel_count()) return nullptr;
  Channel &entry = g_channels.table[k];
  return entry.current == record || entry.suspended == record ? &entry : nullptr;
}

// Ends the record through the callback; a group is made plain around the call so that the
// callback ends it instead of moving on.
void stop_record(SoundRecord *record) {
  Channel *channel = holding_channel(record);
  if (channel == nullptr) return;
  HSAMPLE handle = channel->handle;
  if (has(record, KSFX_GROUP)) {
    record->flags = (uint16_t)(record->flags & ~KSFX_GROUP);
    AIL_end_sample(handle);
    record->flags = (uint16_t)(record->flags | KSFX_GROUP);
  } else if (record->sample != nullptr) {
    AIL_end_sample(handle);
  }
}

// Suspends the current record at its byte position; the callback inside AIL_end_sample ends
// it (or moves a group on).
void suspend_current(Channel &channel) {
  channel.suspendedPos = AIL_sample_position(channel.handle);
  channel.suspended = channel.current;
  AIL_end_sample(channel.handle);
}

// Halts the current record without the callback: no resume, and its id is kept.
void drop_current(Channel &channel) {
  AIL_stop_sample(channel.handle);
  channel.current->channel = nullptr;
  channel.current->status = 0;
}

// Displaces the lower-priority current record: suspend, drop or stop it, then start.
int32_t TakeChannel(SoundRecord *record, Channel &channel) {
  bool resumable = has(channel.current, KSFX_RESUME);
  bool holdsSuspended = channel.suspended != nullptr;
  if (resumable && has(record, KSFX_LOOP)) return 0;
  intptr_t marker = kResume;
  if (resumable && !holdsSuspended) {
    suspend_current(channel);
  } else if (holdsSuspended) {
    drop_current(channel);
  } else {
    stop_record(channel.current);
    marker = kNoResume;
  }
  return StartOnChannel(record, channel, marker);
}

int32_t PlayOnChannel(SoundRecord *record, Channel &channel) {
  set_error(kOk);
  if (is_idle(channel)) return StartOnChannel(record, channel, kNoResume);
  if (record->priority <= channel.current->priority) {
    set_error(kNoChannel);
    return 0;
  }
  return TakeChannel(record, channel);
}

Channel *first_idle_channel() {
  for (uint16_t k = 0; k < live_channel_count(); ++k) {
    if (is_idle(g_channels.table[k])) return &g_channels.table[k];
  }
  return nullptr;
}

Channel *first_displaceable_channel(uint32_t priority) {
  for (uint16_t k = 0; k < live_channel_count(); ++k) {
    Channel &channel = g_channels.table[k];
    if (is_idle(channel) || channel.current->priority < priority) return &channel;
  }
  return nullptr;
}

// A waiting record that was played again while it waited and now plays on another channel.
bool plays_elsewhere(const SoundRecord *waiting, const Channel &channel) {
  return waiting->status == 1 && waiting->channel != &channel;
}

// Restarts the suspended record at its byte position; the interrupting record ends. A record
// that plays elsewhere is not restarted, and the channel becomes idle.
void ResumeSuspended(Channel &channel) {
  SoundRecord *waiting = channel.suspended;
  bool started = waiting->sample != nullptr && !plays_elsewhere(waiting, channel);
  if (started) {
    PrepareSample(waiting, channel.handle);
    AIL_set_sample_position(channel.handle, channel.suspendedPos);
    AIL_set_sample_user_data(channel.handle, kMarkerSlot, kNoResume);
    AIL_start_sample(channel.handle);
    started = AIL_sample_status(channel.handle) == SMP_PLAYING;
  }
  if (!is_idle(channel)) {
    channel.current->channel = nullptr;
    channel.current->status = 0;
  }
  channel.suspended = nullptr;
  channel.current = started ? waiting : &g_idleRecord;
  if (started) {
    waiting->channel = &channel;
    waiting->status = 1;
  }
}

// Moves a group to its next (or a random) element and starts it; false when the group ends.
bool move_group_on(SoundRecord *group, Channel &channel) {
  if (!has(group, KSFX_GROUP) || !playable(group)) return false;
  if (has(group, KSFX_RANDOM)) {
    pick_random_entry(group);
  } else {
    if (current_element(group) == nullptr) return false;
    ++group->listPos;
    if (*group->listPos == nullptr) return false;
  }
  return StartOnChannel(group, channel, kNoResume) == 1;
}

} // namespace

void end_of_sample(HSAMPLE handle) {
  // Called from the audio library: nothing may leave it, whatever the library's calls do.
  exports::guarded([handle] {
    auto *channel = reinterpret_cast<Channel *>(AIL_sample_user_data(handle, 0));
    intptr_t marker = AIL_sample_user_data(handle, kMarkerSlot);
    if (channel == nullptr) return;
    SoundRecord *ended = channel->current;
    if (marker == kResume && channel->suspended != nullptr) {
      if (ended != &g_idleRecord) release_id(ended);
      ResumeSuspended(*channel);
      return;
    }
    if (ended == &g_idleRecord) return;
    if (!move_group_on(ended, *channel)) end_record(ended, *channel);
  });
}

void withdraw_suspended(SoundRecord *record) {
  for (uint16_t k = 0; k < live_channel_count(); ++k) {
    Channel &channel = g_channels.table[k];
    if (channel.suspended != record) continue;
    channel.suspended = nullptr;
    channel.suspendedPos = 0;
    AIL_set_sample_user_data(channel.handle, kMarkerSlot, kNoResume);
    // A suspended group reads as playing on this channel while it waits: no longer.
    if (record->channel == &channel && channel.current != record) {
      record->channel = nullptr;
      record->status = 0;
    }
  }
}

namespace {

int32_t play_sfx(SoundRecord *record) {
  AudioLock lock;
  if (!g_state.initialised) {
    set_error(kNotInitialised);
    return 0;
  }
  if (record != nullptr && record->status == 1) {
    set_error(kAlreadyPlaying);
    return 0;
  }
  if (record == nullptr || !playable(record)) {
    set_error(kNoChannel);
    return 0;
  }
  if (has(record, KSFX_GROUP)) {
    if (has(record, KSFX_RANDOM)) {
      pick_random_entry(record);
    } else {
      record->listPos = record->list;
    }
  }
  Channel *channel = first_idle_channel();
  if (channel == nullptr) channel = first_displaceable_channel(record->priority);
  if (channel == nullptr) {
    set_error(kNoChannel);
    return 0;
  }
  PlayOnChannel(record, *channel);
  set_error(kOk);
  return 1;
}

void stop_sfx(SoundRecord *record) {
  AudioLock lock;
  if (!g_state.initialised || record == nullptr) return;
  stop_record(record);
}

int32_t update_sfx(SoundRecord *record, int32_t rate, int32_t volume, int32_t pan) {
  AudioLock lock;
  if (!g_state.initialised) {
    set_error(kNotInitialised);
    return 0;
  }
  if (record == nullptr) return 0;
  record->rate = rate;
  record->volume = volume;
  record->pan = pan;
  Channel *channel = holding_channel(record);
  if (channel == nullptr || record->sample == nullptr) return 0;
  ApplySoundParams(record, channel->handle);
  return 1;
}

} // namespace
} // namespace engine

// Plays a record on the first idle channel, else on the first one holding a lower-priority
// sound. 1 once a channel is chosen (code 0); 0 with code 8, 7 or 6.
extern "C" KSND_API int32_t KSFX_PlaySFX(SoundRecord *record) {
  return exports::guarded(0, [record] { return engine::play_sfx(record); });
}

// Ends a playing record through the callback; a group ends instead of moving on.
extern "C" KSND_API void KSFX_StopSFX(SoundRecord *record) {
  exports::guarded([record] { engine::stop_sfx(record); });
}

// Stores rate, volume and pan (-1 = the sample's own) and applies them when the record plays.
extern "C" KSND_API int32_t KSFX_UpdateSFX(SoundRecord *record, int32_t rate, int32_t volume,
                                           int32_t pan) {
  return exports::guarded(0, [=] { return engine::update_sfx(record, rate, volume, pan); });
}
