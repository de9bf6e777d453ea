// The MIDI driver's sound on Windows: the system's MIDI port (winmm), played with
// midiOutShortMsg. The sequencer keeps the mixer's sample clock: the render path queues each
// event as it falls due, and the port's sender thread passes the queue on, so no winmm call is
// made under the library lock or the driver lock. Nothing is added to the mix, so the sounding
// level reads silent at once.
//
// Choices: the devices are winmm's MIDI outputs (-1 its mapper); with none, or with
// KSND_AUDIO=offline (whose render runs faster than real time), there is one device that plays
// silently, so a start-up succeeds anyway. A stop silences the port with all sound off, all
// notes off and the sustain pedal up on every channel, and keeps the other controllers for a
// resume; a start first resets controllers, programs and pitch bend on every channel. A queue
// that is full (4096 messages the port has not taken) drops the newest message.
#include <windows.h>
// after <windows.h>
#include "audio/midi/synth.h"
#include "audio/winmm.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mmsystem.h>
#include <thread>

namespace wail::midi {

namespace {

constexpr uint32_t kQueueSize = 4096; // a power of two
constexpr int kChannels = 16;
constexpr uint8_t kSustain = 64, kAllSoundOff = 120, kResetControllers = 121, kAllNotesOff = 123,
                  kVolume = 7, kPan = 10;

} // namespace

// The open port and the queue to it: one producer at a time (under the driver lock), one
// consumer (the sender thread).
struct Synth {
  uint32_t rate;
  const Winmm *mm;
  HMIDIOUT port;
  HANDLE queued;                     // set after each message is queued, and by the destroy
  std::atomic<uint32_t> written{0};  // messages ever queued
  std::atomic<uint32_t> sent{0};     // messages ever sent
  std::atomic<bool> stopping{false}; // the sender ends once the queue is empty
  std::thread sender;
  uint32_t messages[kQueueSize];
};

namespace {

void queue(Synth &s, uint8_t status, uint8_t data1, uint8_t data2) noexcept {
  const uint32_t at = s.written.load(std::memory_order_relaxed);
  if (at - s.sent.load(std::memory_order_acquire) >= kQueueSize) return;
  s.messages[at % kQueueSize] = status | uint32_t{data1} << 8 | uint32_t{data2} << 16;
  s.written.store(at + 1, std::memory_order_release);
  SetEvent(s.queued);
}

void send_queued(Synth &s) {
  for (;;) {
    WaitForSingleObject(s.queued, INFINITE);
    uint32_t at = s.sent.load(std::memory_order_relaxed);
    for (; at != s.written.load(std::memory_order_acquire); ++at) {
      s.mm->midiOutShortMsg(s.port, s.messages[at % kQueueSize]);
      s.sent.store(at + 1, std::memory_order_release);
    }
    if (s.stopping.load(std::memory_order_acquire)) return;
  }
}

bool no_ports() {
  const Winmm *mm = winmm();
  const char *audio = std::getenv("KSND_AUDIO");
  return mm == nullptr || mm->midiOutGetNumDevs() == 0 ||
         (audio != nullptr && std::strcmp(audio, "offline") == 0);
}

} // namespace

uint32_t synth_device_count() { return no_ports() ? 1 : winmm()->midiOutGetNumDevs(); }

std::string synth_source(int32_t device) {
  return no_ports() ? std::string() : std::to_string(device);
}

Synth *synth_create(const std::string &source, uint32_t rate) {
  const int device = std::atoi(source.c_str());
  auto *s = new Synth{};
  s->rate = rate;
  s->mm = winmm();
  s->queued = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  const UINT id = device < 0 ? MIDI_MAPPER : static_cast<UINT>(device);
  if (s->mm != nullptr && s->queued != nullptr &&
      s->mm->midiOutOpen(&s->port, id, 0, 0, CALLBACK_NULL) == MMSYSERR_NOERROR) {
    try {
      s->sender = std::thread(send_queued, std::ref(*s));
      return s;
    } catch (...) {
      s->mm->midiOutClose(s->port);
    }
  }
  std::fprintf(stderr, "wail32: cannot open MIDI port %s; music plays silently\n", source.c_str());
  if (s->queued != nullptr) CloseHandle(s->queued);
  delete s;
  return nullptr;
}

void synth_destroy(Synth *s) {
  if (!s) return;
  synth_silence(*s);
  s->stopping.store(true, std::memory_order_release);
  SetEvent(s->queued);
  s->sender.join();
  s->mm->midiOutReset(s->port);
  s->mm->midiOutClose(s->port);
  CloseHandle(s->queued);
  delete s;
}

uint32_t synth_rate(const Synth &synth) noexcept { return synth.rate; }

void synth_send(Synth &s, const Event &e) noexcept {
  if (e.status >= 0x80 && e.status < 0xF0) queue(s, e.status, e.data1, e.data2);
}

void synth_silence(Synth &s) noexcept {
  for (uint8_t channel = 0; channel < kChannels; ++channel) {
    queue(s, 0xB0 | channel, kAllSoundOff, 0);
    queue(s, 0xB0 | channel, kAllNotesOff, 0);
    queue(s, 0xB0 | channel, kSustain, 0);
  }
}

void synth_reset(Synth &s) noexcept {
  for (uint8_t channel = 0; channel < kChannels; ++channel) {
    queue(s, 0xB0 | channel, kResetControllers, 0);
    queue(s, 0xB0 | channel, kVolume, 100);
    queue(s, 0xB0 | channel, kPan, 64);
    queue(s, 0xC0 | channel, 0, 0);
    queue(s, 0xE0 | channel, 0x00, 0x40); // pitch bend centred
  }
}

float synth_render_add(Synth &, float *, uint32_t) noexcept { return 0.0f; }

void synth_render_fade(Synth &, float *, uint32_t) noexcept {}

} // namespace wail::midi
