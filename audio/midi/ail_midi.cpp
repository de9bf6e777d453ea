// The MIDI functions of the audio library: the device query, the driver, and the sequence
// handles that bind, start, stop, resume and shape a tune. Host threads only.
//
// Behaviour: AIL_init_sequence parses the whole data at once, bounded by the data's own chunk
// lengths (no size is passed), and keeps its own copy of the events; AIL_init_sequence_bounded
// does the same without reading past the size it is given. Either refuses with 0, never an
// exception, when memory runs out. Start resets the
// synthesiser and plays from the beginning; stop silences every note and keeps the position;
// resume continues from it. Status is SEQ_PLAYING from start until the last event of the last
// play has been sent, then SEQ_DONE. Volume 0-127 scales the tune's controller 7 values, re-sent
// at once (0 is silent); loop count and tempo are described in sequencer.h.
//
// Choices: the devices are synth_device_count() (device -1 is the mapper); a driver opens once
// at a time (a second open reports 4, already allocated); a driver has four sequence
// handles, which share its 16 channels as they would share one MIDI port. Binding a tune resets
// loop count 1, volume 127 and tempo 100; a refused tune leaves the bound one as it was. The
// millisecond argument of the volume and tempo calls is ignored: every change is immediate.
// Volumes clamp to 0-127. Handles from a closed driver read SEQ_FREE and ignore calls.
#include "audio/midi/midi_driver.h"
#include "exports/boundary.h"
#include "wail32.h"

#include <algorithm>
#include <utility>

namespace wail::midi {
namespace {

constexpr uint32_t kMmsyserrBadDeviceId = 2;
constexpr uint32_t kMmsyserrAllocated = 4;
constexpr uint32_t kMmsyserrNoMem = 7;
constexpr uint32_t kMmsyserrInvalidParam = 11;
constexpr uint32_t kDefaultRate = 48000; // before the digital driver opens
constexpr int kVolumeController = 7;
constexpr uint8_t kDefaultChannelVolume = 100;

DriverState g_driver{};

// The handle's slot, or null when `h` is not a live handle. Driver lock held.
wail_sequence *live(HSEQUENCE h) {
  for (wail_sequence &s : g_driver.sequences)
    if (&s == h && s.allocated) return &s;
  return nullptr;
}

void bind_defaults(wail_sequence &s) {
  s.playback = Playback{};
  s.playback.tune = &s.tune;
  s.volume = 127;
  std::fill(std::begin(s.channel_volume), std::end(s.channel_volume), kDefaultChannelVolume);
}

bool finished(const Playback &p) {
  return p.next >= p.tune->events.size() && p.pos_us >= p.tune->length_us;
}

// Makes sure a synthesiser runs at the output's rate. It starts outside the lock.
void prepare_synth() {
  uint32_t rate = AIL_output_rate();
  if (rate == 0) rate = kDefaultRate;
  std::string source;
  {
    std::lock_guard guard(g_driver.lock);
    if (!g_driver.driver.open || g_driver.source.empty()) return;
    if (g_driver.synth && synth_rate(*g_driver.synth) == rate) return;
    source = g_driver.source;
  }
  Synth *fresh = synth_create(source, rate);
  Synth *old = fresh;
  {
    std::lock_guard guard(g_driver.lock);
    if (g_driver.driver.open) {
      old = g_driver.synth;
      g_driver.synth = fresh;
      if (!fresh) g_driver.source.clear(); // cannot start: stay silent, do not retry
    }
  }
  synth_destroy(old);
}

// Parses `data` (at most `limit` bytes) and binds it to the sequence; 0 when refused.
int32_t bind_sequence(HSEQUENCE sequence, const void *data, size_t limit, int32_t number) {
  {
    std::lock_guard guard(g_driver.lock);
    if (!live(sequence)) return 0;
  }
  Tune parsed;
  if (!parse_tune(static_cast<const uint8_t *>(data), limit, number, parsed)) return 0;
  prepare_synth();
  std::lock_guard guard(g_driver.lock);
  wail_sequence *s = live(sequence);
  if (!s) return 0;
  if (s->playback.playing) fade_and_silence(g_driver);
  std::swap(s->tune, parsed); // the old tune is freed after the lock is released
  bind_defaults(*s);
  return 1;
}

} // namespace

DriverState &driver_state() { return g_driver; }

void send_event(void *sequence, const Event &event) {
  auto &s = *static_cast<wail_sequence *>(sequence);
  Event scaled = event;
  if ((event.status & 0xF0) == 0xB0 && event.data1 == kVolumeController) {
    s.channel_volume[event.status & 0x0F] = event.data2;
    scaled.data2 = (uint8_t)((event.data2 * s.volume + 63) / 127);
  }
  if (g_driver.synth) synth_send(*g_driver.synth, scaled);
}

void fade_and_silence(DriverState &d) noexcept {
  if (!d.synth) return;
  // What is left of an earlier fade moves to the front; the new one is added over it.
  float *left_over = d.fade + 2 * (kStopFadeFrames - d.fadeLeft);
  std::copy(left_over, left_over + 2 * d.fadeLeft, d.fade);
  std::fill(d.fade + 2 * d.fadeLeft, std::end(d.fade), 0.0f);
  synth_render_fade(*d.synth, d.fade, kStopFadeFrames);
  d.fadeLeft = kStopFadeFrames;
  synth_silence(*d.synth);
}

void send_volumes(wail_sequence &s) {
  for (uint8_t channel = 0; channel < 16; ++channel)
    send_event(&s,
               Event{0, (uint8_t)(0xB0 | channel), kVolumeController, s.channel_volume[channel]});
}

} // namespace wail::midi

using wail::midi::g_driver;

extern "C" {

WAIL_API uint32_t midiOutGetNumDevs(void) {
  return exports::guarded(1u, [] { return wail::midi::synth_device_count(); });
}

WAIL_API int32_t AIL_midiOutOpen(HMDIDRIVER *driver, void *midiOut, int32_t device) {
  return exports::guarded(int32_t{wail::midi::kMmsyserrNoMem}, [&]() -> int32_t {
    if (!driver || midiOut) return wail::midi::kMmsyserrInvalidParam;
    if (device < -1 || device >= (int64_t)wail::midi::synth_device_count())
      return wail::midi::kMmsyserrBadDeviceId;
    {
      std::lock_guard guard(g_driver.lock);
      if (g_driver.driver.open) return wail::midi::kMmsyserrAllocated;
    }
    std::string source = wail::midi::synth_source(device);
    std::lock_guard guard(g_driver.lock);
    if (g_driver.driver.open) return wail::midi::kMmsyserrAllocated;
    g_driver.driver.open = true;
    g_driver.source = std::move(source);
    *driver = &g_driver.driver;
    return 0;
  });
}

WAIL_API void AIL_midiOutClose(HMDIDRIVER driver) {
  exports::guarded([&] {
    wail::midi::Tune released[wail::midi::kSequenceHandles];
    wail::midi::Synth *synth = nullptr;
    {
      std::lock_guard guard(g_driver.lock);
      if (driver != &g_driver.driver || !g_driver.driver.open) return;
      g_driver.driver.open = false;
      for (int i = 0; i < wail::midi::kSequenceHandles; ++i) {
        wail_sequence &s = g_driver.sequences[i];
        s.allocated = false;
        s.playback.playing = false;
        std::swap(released[i], s.tune);
      }
      std::swap(synth, g_driver.synth);
    }
    wail::midi::synth_destroy(synth);
  });
}

WAIL_API HSEQUENCE AIL_allocate_sequence_handle(HMDIDRIVER driver) {
  return exports::guarded(HSEQUENCE{nullptr}, [&]() -> HSEQUENCE {
    std::lock_guard guard(g_driver.lock);
    if (driver != &g_driver.driver || !g_driver.driver.open) return nullptr;
    for (wail_sequence &s : g_driver.sequences) {
      if (s.allocated) continue;
      s.allocated = true;
      s.tune = wail::midi::Tune{};
      wail::midi::bind_defaults(s);
      return &s;
    }
    return nullptr;
  });
}

WAIL_API int32_t AIL_init_sequence(HSEQUENCE sequence, const void *data, int32_t number) {
  return exports::guarded(
      0, [=] { return wail::midi::bind_sequence(sequence, data, SIZE_MAX, number); });
}

WAIL_API int32_t AIL_init_sequence_bounded(HSEQUENCE sequence, const void *data, uint32_t bytes,
                                           int32_t number) {
  return exports::guarded(0,
                          [=] { return wail::midi::bind_sequence(sequence, data, bytes, number); });
}

WAIL_API void AIL_start_sequence(HSEQUENCE sequence) {
  exports::guarded([&] {
    wail::midi::prepare_synth();
    std::lock_guard guard(g_driver.lock);
    wail_sequence *s = wail::midi::live(sequence);
    if (!s) return;
    wail::midi::fade_and_silence(g_driver);
    if (g_driver.synth) wail::midi::synth_reset(*g_driver.synth);
    std::fill(std::begin(s->channel_volume), std::end(s->channel_volume),
              wail::midi::kDefaultChannelVolume);
    wail::midi::send_volumes(*s);
    wail::midi::rewind(s->playback);
    s->playback.playing = !wail::midi::finished(s->playback); // an empty tune is over at once
  });
}

WAIL_API void AIL_stop_sequence(HSEQUENCE sequence) {
  exports::guarded([&] {
    std::lock_guard guard(g_driver.lock);
    wail_sequence *s = wail::midi::live(sequence);
    if (!s || !s->playback.playing) return;
    s->playback.playing = false;
    wail::midi::fade_and_silence(g_driver);
  });
}

WAIL_API void AIL_resume_sequence(HSEQUENCE sequence) {
  exports::guarded([&] {
    wail::midi::prepare_synth();
    std::lock_guard guard(g_driver.lock);
    wail_sequence *s = wail::midi::live(sequence);
    if (!s || s->playback.playing || wail::midi::finished(s->playback)) return;
    s->playback.playing = true;
  });
}

WAIL_API void AIL_set_sequence_loop_count(HSEQUENCE sequence, int32_t count) {
  exports::guarded([&] {
    std::lock_guard guard(g_driver.lock);
    if (wail_sequence *s = wail::midi::live(sequence)) s->playback.loop_count = count;
  });
}

WAIL_API uint32_t AIL_sequence_status(HSEQUENCE sequence) {
  return exports::guarded(uint32_t{SEQ_FREE}, [&]() -> uint32_t {
    std::lock_guard guard(g_driver.lock);
    wail_sequence *s = wail::midi::live(sequence);
    if (!s) return SEQ_FREE;
    return s->playback.playing ? SEQ_PLAYING : SEQ_DONE;
  });
}

WAIL_API void AIL_set_sequence_volume(HSEQUENCE sequence, int32_t volume, int32_t) {
  exports::guarded([&] {
    std::lock_guard guard(g_driver.lock);
    wail_sequence *s = wail::midi::live(sequence);
    if (!s) return;
    s->volume = std::clamp(volume, 0, 127);
    wail::midi::send_volumes(*s);
  });
}

WAIL_API void AIL_set_sequence_tempo(HSEQUENCE sequence, int32_t tempo, int32_t) {
  exports::guarded([&] {
    std::lock_guard guard(g_driver.lock);
    if (wail_sequence *s = wail::midi::live(sequence)) wail::midi::set_tempo(s->playback, tempo);
  });
}

WAIL_API int32_t AIL_sequence_tempo(HSEQUENCE sequence) {
  return exports::guarded(int32_t{0}, [&]() -> int32_t {
    std::lock_guard guard(g_driver.lock);
    wail_sequence *s = wail::midi::live(sequence);
    return s ? s->playback.tempo : 0;
  });
}

} // extern "C"
