// Recording fake of the audio library: implements wail32.h over plain in-memory state.
#include "fake_wail.h"

#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

namespace fake {
namespace {

struct World {
  Config config;
  std::vector<Call> calls;
  std::deque<Sample> samples; // stable addresses: handles point at them
  Sequence sequence;
  int driverToken = 0;
  bool driverOpen = false; // between a successful AIL_waveOutOpen and its close
  int liveHandles = 0;     // sample handles of the open driver
  int midiToken = 0;
  int sequenceToken = 0;
};

World &world() {
  static World w;
  return w;
}

std::recursive_mutex &lock() {
  static std::recursive_mutex m;
  return m;
}

// Recorded under its own mutex: a callback on the fake's service thread may record too.
std::mutex &record_mutex() {
  static std::mutex m;
  return m;
}

template <typename... A> void record(const char *name, A... args) {
  std::lock_guard<std::mutex> g(record_mutex());
  world().calls.push_back(Call{name, {(intptr_t)args...}});
}

Sample *as_sample(HSAMPLE h) { return reinterpret_cast<Sample *>(h); }

} // namespace

void reset() {
  std::lock_guard<std::mutex> g(record_mutex());
  world() = World{};
}
Config &config() { return world().config; }
const std::vector<Call> &calls() { return world().calls; }
void clear_calls() {
  std::lock_guard<std::mutex> g(record_mutex());
  world().calls.clear();
}

int count(const std::string &name) {
  int n = 0;
  for (const Call &c : world().calls) n += c.name == name;
  return n;
}

std::vector<std::string> call_names() {
  std::vector<std::string> names;
  for (const Call &c : world().calls) names.push_back(c.name);
  return names;
}

Sample &sample(HSAMPLE handle) { return *as_sample(handle); }
Sequence &sequence() { return world().sequence; }

void advance(HSAMPLE handle, uint32_t position) { as_sample(handle)->position = position; }

void finish_sample(HSAMPLE handle) {
  std::thread service([handle] {
    std::lock_guard<std::recursive_mutex> g(lock());
    Sample *s = as_sample(handle);
    if (s->status != SMP_PLAYING) return;
    s->status = SMP_DONE;
    if (s->callback) s->callback(handle);
  });
  service.join();
}

} // namespace fake

using fake::record;
using fake::world;

extern "C" {

uint32_t waveOutGetNumDevs(void) {
  record("waveOutGetNumDevs");
  return (uint32_t)world().config.waveDevices.size();
}

uint32_t waveOutGetDevCapsA(uintptr_t device, WAVEOUTCAPSA *caps, uint32_t size) {
  record("waveOutGetDevCapsA", device, size);
  std::memset(caps, 0, sizeof *caps);
  if (device >= world().config.waveDevices.size()) return 2;
  caps->dwFormats = world().config.waveDevices[device];
  std::snprintf(caps->szPname, sizeof caps->szPname, "fake device %u", (unsigned)device);
  return 0;
}

uint32_t midiOutGetNumDevs(void) {
  record("midiOutGetNumDevs");
  return world().config.midiDevices;
}

void AIL_startup(void) { record("AIL_startup"); }
void AIL_shutdown(void) {
  record("AIL_shutdown");
  world().driverOpen = false;
  world().liveHandles = 0;
}
void AIL_serve(void) { record("AIL_serve"); }
const char *AIL_last_error(void) {
  record("AIL_last_error");
  return world().config.lastError.c_str();
}

void AIL_lock(void) { fake::lock().lock(); }
void AIL_unlock(void) { fake::lock().unlock(); }

int32_t AIL_waveOutOpen(HDIGDRIVER *driver, void *waveOut, int32_t device,
                        const PCMWAVEFORMAT *format) {
  record("AIL_waveOutOpen", device, format->nChannels, format->nSamplesPerSec,
         format->nAvgBytesPerSec, format->nBlockAlign, format->wBitsPerSample, waveOut);
  if (world().config.waveOpenResult != 0) return world().config.waveOpenResult;
  if (world().driverOpen) return -1;
  world().driverOpen = true;
  *driver = reinterpret_cast<HDIGDRIVER>(&world().driverToken);
  return 0;
}

void AIL_waveOutClose(HDIGDRIVER driver) {
  record("AIL_waveOutClose", driver);
  world().driverOpen = false;
  world().liveHandles = 0;
}

HSAMPLE AIL_allocate_sample_handle(HDIGDRIVER driver) {
  record("AIL_allocate_sample_handle", driver);
  if (world().liveHandles >= world().config.sampleHandleLimit) return nullptr;
  ++world().liveHandles;
  world().samples.emplace_back();
  return reinterpret_cast<HSAMPLE>(&world().samples.back());
}

AILSAMPLECB AIL_register_EOS_callback(HSAMPLE s, AILSAMPLECB cb) {
  record("AIL_register_EOS_callback", s, (void *)cb);
  AILSAMPLECB old = fake::as_sample(s)->callback;
  fake::as_sample(s)->callback = cb;
  return old;
}

void AIL_set_sample_user_data(HSAMPLE s, uint32_t index, intptr_t value) {
  record("AIL_set_sample_user_data", s, index, value);
  fake::as_sample(s)->userData[index & 1] = value;
}

intptr_t AIL_sample_user_data(HSAMPLE s, uint32_t index) {
  record("AIL_sample_user_data", s, index);
  return fake::as_sample(s)->userData[index & 1];
}

void AIL_set_sample_address(HSAMPLE s, const void *start, uint32_t length) {
  record("AIL_set_sample_address", s, start, length);
  fake::as_sample(s)->address = start;
  fake::as_sample(s)->length = length;
  fake::as_sample(s)->position = 0;
}

void AIL_set_sample_type(HSAMPLE s, int32_t format, uint32_t flags) {
  record("AIL_set_sample_type", s, format, flags);
  fake::as_sample(s)->format = format;
  fake::as_sample(s)->typeFlags = flags;
}

void AIL_set_sample_loop_count(HSAMPLE s, int32_t count) {
  record("AIL_set_sample_loop_count", s, count);
  fake::as_sample(s)->loopCount = count;
}

void AIL_set_sample_playback_rate(HSAMPLE s, int32_t rate) {
  record("AIL_set_sample_playback_rate", s, rate);
  fake::as_sample(s)->rate = rate;
}

void AIL_set_sample_volume(HSAMPLE s, int32_t volume) {
  record("AIL_set_sample_volume", s, volume);
  fake::as_sample(s)->volume = volume;
}

void AIL_set_sample_pan(HSAMPLE s, int32_t pan) {
  record("AIL_set_sample_pan", s, pan);
  fake::as_sample(s)->pan = pan;
}

void AIL_start_sample(HSAMPLE s) {
  record("AIL_start_sample", s);
  fake::as_sample(s)->status = world().config.startConfirms ? SMP_PLAYING : SMP_DONE;
}

void AIL_stop_sample(HSAMPLE s) {
  record("AIL_stop_sample", s);
  fake::as_sample(s)->status = SMP_DONE;
}

void AIL_end_sample(HSAMPLE s) {
  record("AIL_end_sample", s);
  std::lock_guard<std::recursive_mutex> g(fake::lock());
  fake::as_sample(s)->status = SMP_DONE;
  if (fake::as_sample(s)->callback) fake::as_sample(s)->callback(s);
}

uint32_t AIL_sample_status(HSAMPLE s) {
  record("AIL_sample_status", s);
  return fake::as_sample(s)->status;
}

uint32_t AIL_sample_position(HSAMPLE s) {
  record("AIL_sample_position", s);
  return fake::as_sample(s)->position;
}

void AIL_set_sample_position(HSAMPLE s, uint32_t position) {
  record("AIL_set_sample_position", s, position);
  fake::as_sample(s)->position = position;
}

int32_t AIL_midiOutOpen(HMDIDRIVER *driver, void *midiOut, int32_t device) {
  record("AIL_midiOutOpen", device, midiOut);
  bool opens = device == -1 ? world().config.mapperOpens : world().config.device0Opens;
  if (!opens) return 1;
  *driver = reinterpret_cast<HMDIDRIVER>(&world().midiToken);
  return 0;
}

void AIL_midiOutClose(HMDIDRIVER driver) { record("AIL_midiOutClose", driver); }

HSEQUENCE AIL_allocate_sequence_handle(HMDIDRIVER driver) {
  record("AIL_allocate_sequence_handle", driver);
  if (!world().config.sequenceHandleAvailable) return nullptr;
  return reinterpret_cast<HSEQUENCE>(&world().sequenceToken);
}

int32_t AIL_init_sequence(HSEQUENCE sequence, const void *data, int32_t number) {
  record("AIL_init_sequence", sequence, data, number);
  if (world().config.initSequenceResult != 0) {
    world().sequence.data = data;
    world().sequence.number = number;
  }
  return world().config.initSequenceResult;
}

int32_t AIL_init_sequence_bounded(HSEQUENCE sequence, const void *data, uint32_t bytes,
                                  int32_t number) {
  record("AIL_init_sequence_bounded", sequence, data, bytes, number);
  if (world().config.initSequenceResult != 0) {
    world().sequence.data = data;
    world().sequence.number = number;
  }
  return world().config.initSequenceResult;
}

void AIL_start_sequence(HSEQUENCE s) {
  record("AIL_start_sequence", s);
  world().config.sequenceStatus = SEQ_PLAYING;
}

void AIL_stop_sequence(HSEQUENCE s) {
  record("AIL_stop_sequence", s);
  world().config.sequenceStatus = SEQ_DONE;
}

void AIL_resume_sequence(HSEQUENCE s) {
  record("AIL_resume_sequence", s);
  world().config.sequenceStatus = SEQ_PLAYING;
}

void AIL_set_sequence_loop_count(HSEQUENCE s, int32_t count) {
  record("AIL_set_sequence_loop_count", s, count);
  world().sequence.loopCount = count;
}

uint32_t AIL_sequence_status(HSEQUENCE s) {
  record("AIL_sequence_status", s);
  return world().config.sequenceStatus;
}

void AIL_set_sequence_volume(HSEQUENCE s, int32_t volume, int32_t ms) {
  record("AIL_set_sequence_volume", s, volume, ms);
  world().sequence.volume = volume;
}

void AIL_set_sequence_tempo(HSEQUENCE s, int32_t tempo, int32_t ms) {
  record("AIL_set_sequence_tempo", s, tempo, ms);
  world().config.sequenceTempo = tempo;
}

int32_t AIL_sequence_tempo(HSEQUENCE s) {
  record("AIL_sequence_tempo", s);
  return world().config.sequenceTempo;
}

uint32_t AIL_render_offline(float *, uint32_t) { return 0; }
uint32_t AIL_output_rate(void) { return 0; }

} // extern "C"
