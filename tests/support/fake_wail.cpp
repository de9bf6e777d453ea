// Recording fake of the audio library: implements wail32.h over plain in-memory state.
#include "fake_wail.h"

#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

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

namespace {

// Records the call on sample `s` (named by the caller's __func__) and gives its state.
template <typename... A> fake::Sample &on(const char *name, HSAMPLE s, A... args) {
  record(name, s, args...);
  return *fake::as_sample(s);
}
// Both sequence binds take the data when the configured result accepts it.
int32_t bind_sequence(const void *data, int32_t number) {
  if (fake::config().initSequenceResult != 0)
    world().sequence.data = data, world().sequence.number = number;
  return fake::config().initSequenceResult;
}

} // namespace

using fake::config;

extern "C" {

uint32_t waveOutGetNumDevs(void) {
  record(__func__);
  return (uint32_t)config().waveDevices.size();
}

uint32_t waveOutGetDevCapsA(uintptr_t device, WAVEOUTCAPSA *caps, uint32_t size) {
  record(__func__, device, size);
  std::memset(caps, 0, sizeof *caps);
  if (device >= config().waveDevices.size()) return 2;
  caps->dwFormats = config().waveDevices[device];
  std::snprintf(caps->szPname, sizeof caps->szPname, "fake device %u", (unsigned)device);
  return 0;
}

uint32_t midiOutGetNumDevs(void) { return record(__func__), config().midiDevices; }

void AIL_startup(void) { record(__func__); }
void AIL_shutdown(void) {
  record(__func__);
  world().driverOpen = false;
  world().liveHandles = 0;
}
void AIL_serve(void) { record(__func__); }
const char *AIL_last_error(void) { return record(__func__), config().lastError.c_str(); }

void AIL_lock(void) { fake::lock().lock(); }
void AIL_unlock(void) { fake::lock().unlock(); }

int32_t AIL_waveOutOpen(HDIGDRIVER *driver, void *waveOut, int32_t device,
                        const PCMWAVEFORMAT *format) {
  record(__func__, device, format->nChannels, format->nSamplesPerSec, format->nAvgBytesPerSec,
         format->nBlockAlign, format->wBitsPerSample, waveOut);
  if (config().waveOpenResult != 0) return config().waveOpenResult;
  if (world().driverOpen) return -1;
  world().driverOpen = true;
  *driver = reinterpret_cast<HDIGDRIVER>(&world().driverToken);
  return 0;
}

void AIL_waveOutClose(HDIGDRIVER driver) {
  record(__func__, driver);
  world().driverOpen = false;
  world().liveHandles = 0;
}

HSAMPLE AIL_allocate_sample_handle(HDIGDRIVER driver) {
  record(__func__, driver);
  if (world().liveHandles >= config().sampleHandleLimit) return nullptr;
  ++world().liveHandles;
  return reinterpret_cast<HSAMPLE>(&world().samples.emplace_back());
}

AILSAMPLECB AIL_register_EOS_callback(HSAMPLE s, AILSAMPLECB cb) {
  return std::exchange(on(__func__, s, (void *)cb).callback, cb);
}
void AIL_set_sample_user_data(HSAMPLE s, uint32_t index, intptr_t value) {
  on(__func__, s, index, value).userData[index & 1] = value;
}
intptr_t AIL_sample_user_data(HSAMPLE s, uint32_t index) {
  return on(__func__, s, index).userData[index & 1];
}
void AIL_set_sample_address(HSAMPLE s, const void *start, uint32_t length) {
  fake::Sample &sample = on(__func__, s, start, length);
  sample.address = start, sample.length = length, sample.position = 0;
}
void AIL_set_sample_type(HSAMPLE s, int32_t format, uint32_t flags) {
  fake::Sample &sample = on(__func__, s, format, flags);
  sample.format = format, sample.typeFlags = flags;
}
void AIL_set_sample_loop_count(HSAMPLE s, int32_t n) { on(__func__, s, n).loopCount = n; }
void AIL_set_sample_playback_rate(HSAMPLE s, int32_t rate) { on(__func__, s, rate).rate = rate; }
void AIL_set_sample_volume(HSAMPLE s, int32_t volume) { on(__func__, s, volume).volume = volume; }
void AIL_set_sample_pan(HSAMPLE s, int32_t pan) { on(__func__, s, pan).pan = pan; }
void AIL_start_sample(HSAMPLE s) {
  on(__func__, s).status = config().startConfirms ? SMP_PLAYING : SMP_DONE;
}
void AIL_stop_sample(HSAMPLE s) { on(__func__, s).status = SMP_DONE; }
void AIL_end_sample(HSAMPLE s) {
  fake::Sample &sample = on(__func__, s);
  std::lock_guard<std::recursive_mutex> g(fake::lock());
  sample.status = SMP_DONE;
  if (sample.callback) sample.callback(s);
}
uint32_t AIL_sample_status(HSAMPLE s) { return on(__func__, s).status; }
uint32_t AIL_sample_position(HSAMPLE s) { return on(__func__, s).position; }
void AIL_set_sample_position(HSAMPLE s, uint32_t at) { on(__func__, s, at).position = at; }

int32_t AIL_midiOutOpen(HMDIDRIVER *driver, void *midiOut, int32_t device) {
  record(__func__, device, midiOut);
  if (!(device == -1 ? config().mapperOpens : config().device0Opens)) return 1;
  *driver = reinterpret_cast<HMDIDRIVER>(&world().midiToken);
  return 0;
}
void AIL_midiOutClose(HMDIDRIVER driver) { record(__func__, driver); }

HSEQUENCE AIL_allocate_sequence_handle(HMDIDRIVER driver) {
  record(__func__, driver);
  if (!config().sequenceHandleAvailable) return nullptr;
  return reinterpret_cast<HSEQUENCE>(&world().sequenceToken);
}

int32_t AIL_init_sequence(HSEQUENCE sequence, const void *data, int32_t number) {
  record(__func__, sequence, data, number);
  return bind_sequence(data, number);
}
int32_t AIL_init_sequence_bounded(HSEQUENCE sequence, const void *data, uint32_t bytes,
                                  int32_t number) {
  record(__func__, sequence, data, bytes, number);
  return bind_sequence(data, number);
}

void AIL_start_sequence(HSEQUENCE s) { record(__func__, s), config().sequenceStatus = SEQ_PLAYING; }
void AIL_stop_sequence(HSEQUENCE s) { record(__func__, s), config().sequenceStatus = SEQ_DONE; }
void AIL_resume_sequence(HSEQUENCE s) {
  record(__func__, s), config().sequenceStatus = SEQ_PLAYING;
}
void AIL_set_sequence_loop_count(HSEQUENCE s, int32_t n) {
  record(__func__, s, n), world().sequence.loopCount = n;
}
uint32_t AIL_sequence_status(HSEQUENCE s) { return record(__func__, s), config().sequenceStatus; }
void AIL_set_sequence_volume(HSEQUENCE s, int32_t volume, int32_t ms) {
  record(__func__, s, volume, ms), world().sequence.volume = volume;
}
void AIL_set_sequence_tempo(HSEQUENCE s, int32_t tempo, int32_t ms) {
  record(__func__, s, tempo, ms), config().sequenceTempo = tempo;
}
int32_t AIL_sequence_tempo(HSEQUENCE s) { return record(__func__, s), config().sequenceTempo; }

uint32_t AIL_render_offline(float *, uint32_t) { return 0; }
uint32_t AIL_output_rate(void) { return 0; }

} // extern "C"
