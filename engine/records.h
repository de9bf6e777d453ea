// Record layouts: where pointers are 32 bits the public records are the bank file's bytes, so
// bank records are used in place. Pinned here for every field.
#pragma once

#include "ksnd32.h"

#include <cstddef>

namespace engine {

constexpr bool kRecordsInPlace = sizeof(void *) == 4;

} // namespace engine

#if defined(__i386__) || (defined(_WIN32) && !defined(_WIN64))
static_assert(sizeof(SoundRecord) == 60);
static_assert(offsetof(SoundRecord, id) == 0);
static_assert(offsetof(SoundRecord, priority) == 4);
static_assert(offsetof(SoundRecord, status) == 8);
static_assert(offsetof(SoundRecord, sample) == 12);
static_assert(offsetof(SoundRecord, flags) == 16);
static_assert(offsetof(SoundRecord, reserved) == 18);
static_assert(offsetof(SoundRecord, channel) == 20);
static_assert(offsetof(SoundRecord, rate) == 24);
static_assert(offsetof(SoundRecord, volume) == 28);
static_assert(offsetof(SoundRecord, pan) == 32);
static_assert(offsetof(SoundRecord, x) == 36);
static_assert(offsetof(SoundRecord, y) == 38);
static_assert(offsetof(SoundRecord, baseVolume) == 40);
static_assert(offsetof(SoundRecord, list) == 44);
static_assert(offsetof(SoundRecord, listPos) == 48);
static_assert(offsetof(SoundRecord, listCount) == 52);
static_assert(offsetof(SoundRecord, sampleIndex) == 56);

static_assert(sizeof(SampleRecord) == 28);
static_assert(offsetof(SampleRecord, data) == 0);
static_assert(offsetof(SampleRecord, image) == 4);
static_assert(offsetof(SampleRecord, length) == 8);
static_assert(offsetof(SampleRecord, rate) == 12);
static_assert(offsetof(SampleRecord, volume) == 16);
static_assert(offsetof(SampleRecord, pan) == 20);
static_assert(offsetof(SampleRecord, flags) == 24);
static_assert(offsetof(SampleRecord, format) == 26);

static_assert(sizeof(Channel) == 20);
static_assert(offsetof(Channel, driver) == 0);
static_assert(offsetof(Channel, handle) == 4);
static_assert(offsetof(Channel, current) == 8);
static_assert(offsetof(Channel, suspended) == 12);
static_assert(offsetof(Channel, suspendedPos) == 16);

static_assert(sizeof(SoundDebugInfo) == 28);
static_assert(sizeof(PCMWAVEFORMAT) == 16);
static_assert(sizeof(WAVEOUTCAPSA) == 52);
#endif

static_assert(sizeof(WAVEOUTCAPSA) == 52);
static_assert(sizeof(PCMWAVEFORMAT) == 16);
