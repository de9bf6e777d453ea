// What an audio engineer hears, measured through the engine: no step the engine causes is larger
// than the signal's own, nothing reaches full scale, quiet material passes the master stage
// untouched, tunes sit beside effects, and the wav: output holds a group back to back.
#include "audio/master.h"
#include "demo_show.h"
#include "ksnd32.h"
#include "midi_test_tunes.h"
#include "offline_tape.h"
#include "sound_checks.h"
#include "support/records.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace audio_test;
using midi_test::Bytes;
using midi_test::operator+;
constexpr uint32_t kRate = 48000;

// A looping 16-bit mono sample at 48000 Hz: `seconds` of `hz` at `level` of full scale.
struct Sine {
  Sine(double hz, double level, uint32_t frames = kRate) : pcm(frames) {
    for (size_t i = 0; i < pcm.size(); ++i)
      pcm[i] = int16_t(
          std::lrint(32767 * level * std::sin(2 * std::numbers::pi * hz * double(i) / kRate)));
    sample = support::mono16(pcm, kRate);
  }
  SoundRecord sound(uint32_t priority, uint16_t flags) {
    return support::sound_of(&sample, priority, flags);
  }
  std::vector<int16_t> pcm;
  SampleRecord sample{};
};

void put_vlq(Bytes &b, uint32_t v) {
  if (v >= 128) put_vlq(b, v >> 7), b.back() |= 0x80;
  b.push_back(uint8_t(v & 0x7F));
}

// A General MIDI tune as games have them, 8 s at 120 per minute (96 ticks a quarter): drums in
// eighths, a bass in quarters, piano chords and a string melody, at ordinary velocities.
Bytes typical_tune() {
  struct Note {
    uint32_t tick, length;
    uint8_t channel, key, velocity;
  };
  std::vector<Note> notes;
  const uint8_t roots[] = {48, 53, 55, 48};
  for (uint32_t bar = 0; bar < 4; ++bar) {
    const uint32_t at = bar * 384;
    for (uint32_t e = 0; e < 8; ++e)
      notes.push_back({at + e * 48, 24, 9,
                       uint8_t(e % 4 == 0   ? 36
                               : e % 4 == 2 ? 38
                                            : 42),
                       uint8_t(e % 2 ? 70 : 100)});
    for (uint32_t q = 0; q < 4; ++q)
      notes.push_back({at + q * 96, 90, 1, uint8_t(roots[bar] - 12), 90});
    for (uint8_t step : {0, 4, 7})
      notes.push_back({at, 380, 0, uint8_t(roots[bar] + 12 + step), 80});
    for (uint32_t q = 0; q < 4; ++q)
      notes.push_back({at + q * 96, 96, 2, uint8_t(roots[bar] + 24 + (q * 5) % 12), 85});
  }
  std::vector<std::pair<uint32_t, Bytes>> events{{0, {0xC0, 0}}, {0, {0xC1, 33}}, {0, {0xC2, 48}}};
  for (const Note &n : notes) {
    events.push_back({n.tick, {uint8_t(0x90 | n.channel), n.key, n.velocity}});
    events.push_back({n.tick + n.length, {uint8_t(0x80 | n.channel), n.key, 0}});
  }
  std::stable_sort(events.begin(), events.end(),
                   [](auto &a, auto &b) { return a.first < b.first; });
  Bytes track;
  uint32_t now = 0;
  for (auto &[tick, message] : events) {
    put_vlq(track, tick - now), now = tick;
    track = track + message;
  }
  track = track + Bytes{0, 0xFF, 0x2F, 0};
  return midi_test::smf(0, 96, {track});
}

double db(double x) { return 20 * std::log10(x); }

// The RMS of every demo effect played alone at volume 100, over its own length, power-averaged:
// the loudness of the effects a game plays.
double effects_rms() {
  double power = 0;
  int count = 0;
  for (const ksfx::DemoFile &file : ksfx::demo_files()) {
    if (!file.name.ends_with(".wav")) continue;
    SampleRecord s{};
    EXPECT_EQ(KSFX_SetupWAVsample(&s, const_cast<uint8_t *>(file.bytes.data())), 1);
    SoundRecord r{};
    r.sample = &s, r.priority = 1, r.rate = r.pan = -1, r.volume = 100;
    EXPECT_EQ(KSFX_PlaySFX(&r), 1);
    Tape tape;
    tape.render(uint32_t(uint64_t(s.length) * kRate / s.rate / (s.format % 2 + 1)));
    KSFX_StopSFX(&r);
    const double level = rms(tape.output());
    power += level * level;
    ++count;
  }
  return std::sqrt(power / count);
}

// The whole of a tune played once, from start to its last event.
std::vector<float> play_tune(const Bytes &tune) {
  EXPECT_EQ(KTUNE_InitTune(tune.data(), 0), 1);
  EXPECT_EQ(KTUNE_StartTune(), 1);
  Tape tape;
  while (KTUNE_CurrentlyPlaying() == 1 && tape.rendered() < 60 * kRate) tape.render(kRate / 10);
  return tape.output();
}

class Quality : public ::testing::Test {
protected:
  void SetUp() override { start(1); }
  void TearDown() override { KSOUNDClose(); }
  void start(uint32_t channels) {
    KSOUNDClose();
    setenv("KSND_AUDIO", "offline", 1);
    ASSERT_EQ(KSOUNDInit(channels, 16), 1);
    tape_ = Tape();
  }
  Tape tape_;
};

TEST_F(Quality, NoStepTheEngineCausesIsLargerThanTheSinesOwn) {
  Sine sine(997, 0.5), silence(0, 0, 1000);
  // A 997 Hz sine plays alone on one channel; a silent sound of higher priority interrupts it.
  struct Sounds {
    SoundRecord tone, interrupter;
  };
  struct Case {
    const char *what;
    uint16_t flags;
    std::function<void(Sounds &)> change;
    uint32_t after; // frames from the change to the step it causes
  } cases[] = {
      {"stop", KSFX_LOOP, [](Sounds &s) { KSFX_StopSFX(&s.tone); }, 0},
      {"steal", KSFX_LOOP, [](Sounds &s) { KSFX_PlaySFX(&s.interrupter); }, 0},
      {"suspend", KSFX_LOOP | KSFX_RESUME, [](Sounds &s) { KSFX_PlaySFX(&s.interrupter); }, 0},
      {"resume", KSFX_LOOP | KSFX_RESUME, [](Sounds &s) { KSFX_PlaySFX(&s.interrupter); }, 1000},
      {"volume 127 to 40", KSFX_LOOP, [](Sounds &s) { KSFX_UpdateSFX(&s.tone, -1, 40, -1); }, 0},
      {"pan 64 to 0", KSFX_LOOP, [](Sounds &s) { KSFX_UpdateSFX(&s.tone, -1, -1, 0); }, 0},
      {"master volume 127 to 20", KSFX_LOOP, [](Sounds &) { AIL_set_master_volume(20); }, 0},
  };
  for (const Case &c : cases) {
    start(1);
    Sounds sounds{sine.sound(1, c.flags), silence.sound(5, 0)};
    ASSERT_EQ(KSFX_PlaySFX(&sounds.tone), 1) << c.what;
    tape_.render(9600);
    const float own = tape_.largest_step(4800, 9600);
    c.change(sounds);
    tape_.render(c.after + 4800);
    const float step = tape_.largest_step(9600 + c.after, tape_.rendered());
    EXPECT_LE(step, 1.5f * own) << c.what << ": a step of " << step << " against the sine's "
                                << own;
    AIL_set_master_volume(127);
  }
}

TEST_F(Quality, StoppingATuneFadesItOut) {
  if (!soundfont_installed()) GTEST_SKIP() << "no SoundFont: the tune is silent";
  // A chord held on a church organ for two seconds, stopped in the middle.
  const Bytes organ =
      midi_test::smf(0, 96, {{0,    0xC0, 19,  0,    0x90, 48,   100, 0, 0x90, 55,   100,  0,
                              0x90, 64,   100, 0x83, 0,    0x80, 48,  0, 0,    0xFF, 0x2F, 0}});
  ASSERT_TRUE(KTUNE_InitTune(organ.data(), 0) == 1 && KTUNE_StartTune() == 1);
  tape_.render(kRate);
  const float own = tape_.largest_step(kRate / 2, kRate);
  KTUNE_StopTune();
  tape_.render(kRate / 10);
  const float step = tape_.largest_step(kRate, tape_.rendered());
  EXPECT_LE(step, 1.5f * own) << "a step of " << step << " against the tune's " << own;
}

TEST_F(Quality, NothingReachesFullScaleUnderADenseTuneAndThirtyTwoLoudEffects) {
  start(32);
  std::vector<Sine> sines;
  for (int i = 0; i < 32; ++i) sines.emplace_back(110.0 * (i % 8 + 1), 1.0);
  std::vector<SoundRecord> effects;
  for (Sine &s : sines) effects.push_back(s.sound(1, KSFX_LOOP));
  for (SoundRecord &e : effects) {
    e.volume = 127;
    ASSERT_EQ(KSFX_PlaySFX(&e), 1);
  }
  const std::vector<float> out = play_tune(typical_tune());
  float peak = 0;
  for (float x : out) peak = std::max(peak, std::fabs(x));
  EXPECT_LE(peak, wail::kCeiling * 1.0001f);
  EXPECT_GT(rms(out), 0.25) << "the limiter holds the level up";
}

TEST_F(Quality, QuietMaterialLeavesTheMasterStageExactOnceTheLimiterHasLetGo) {
  start(8);
  Sine loud(440, 1.0), quiet(997, 0.3);
  std::vector<SoundRecord> burst(4, loud.sound(1, KSFX_LOOP));
  for (SoundRecord &b : burst) ASSERT_EQ(KSFX_PlaySFX(&b), 1);
  tape_.render(kRate / 10);
  for (SoundRecord &b : burst) KSFX_StopSFX(&b);
  SoundRecord tone = quiet.sound(1, KSFX_LOOP);
  const size_t from = tape_.rendered();
  ASSERT_EQ(KSFX_PlaySFX(&tone), 1);
  tape_.render(2 * kRate);
  for (size_t i = kRate; i < 2 * kRate - wail::kMasterDelay; ++i)
    ASSERT_EQ(tape_.left(from + i), float(quiet.pcm[i % kRate]) / 32768.0f) << "frame " << i;
}

TEST_F(Quality, ATypicalTuneSitsWithinThreeDecibelsOfEffectsAtVolume100) {
  if (!soundfont_installed()) GTEST_SKIP() << "no SoundFont: the tune is silent";
  start(4);
  const double effects = db(effects_rms());
  for (const Bytes &tune : {typical_tune(), Bytes{}}) {
    Bytes data = tune;
    for (const ksfx::DemoFile &file : ksfx::demo_files())
      if (tune.empty() && file.name == "demo.mid") data = file.bytes;
    const std::vector<float> out = play_tune(data);
    EXPECT_NEAR(db(rms(out)), effects, 3.0) << (tune.empty() ? "demo" : "typical");
  }
}

TEST(QualityRealTime, AGroupsElementsFollowOnTheNextFrameInTheWavOutput) {
  const std::string path = testing::TempDir() + "ksnd_group_capture.wav";
  setenv("KSND_AUDIO", ("wav:" + path).c_str(), 1);
  ASSERT_EQ(KSOUNDInit(1, 16), 1);
  Sine a(0, 0, 2500), b(0, 0, 3700), c(0, 0, 1300); // steady levels, each its own
  std::fill(a.pcm.begin(), a.pcm.end(), 4000);
  std::fill(b.pcm.begin(), b.pcm.end(), 8000);
  std::fill(c.pcm.begin(), c.pcm.end(), 12000);
  SoundRecord ea = a.sound(0, 0), eb = b.sound(0, 0), ec = c.sound(0, 0);
  SoundRecord *list[] = {&ea, &eb, &ec, nullptr};
  SoundRecord group = support::group_of(list, 3, 1);
  ASSERT_EQ(KSFX_PlaySFX(&group), 1);
  auto playing = [&] {
    AIL_lock();
    const bool now = group.status == 1;
    AIL_unlock();
    return now;
  };
  for (int ms = 0; playing() && ms < 5000; ms += 5)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_FALSE(playing());
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  KSOUNDClose();
  const WavFile wav(path);
  std::remove(path.c_str());
  // A whole header: its sizes match the file, 48000 Hz stereo 16-bit, whole frames.
  const size_t size = wav.bytes.size();
  ASSERT_GE(size, 44u);
  EXPECT_EQ(wav.bytes.substr(0, 4) + wav.bytes.substr(8, 8) + wav.bytes.substr(36, 4),
            "RIFFWAVEfmt data");
  EXPECT_EQ((std::vector<size_t>{wav.le(4, 4), wav.le(24, 4), wav.le(28, 4), wav.le(40, 4) % 4}),
            (std::vector<size_t>{size - 8, kRate, kRate * 4, 0}));
  EXPECT_EQ(wav.le(40, 4), size - 44);
  const std::vector<int16_t> pcm = wav.samples();
  size_t first = pcm.size(), last = 0, gap = 0, longestGap = 0;
  for (size_t i = 0; i < pcm.size(); i += 2) {
    if (pcm[i] == 0) {
      ++gap;
      continue;
    }
    if (first < pcm.size()) longestGap = std::max(longestGap, gap);
    first = std::min(first, i / 2), last = i / 2, gap = 0;
  }
  EXPECT_LE(longestGap, 1u);
  EXPECT_EQ(last + 1 - first, 2500u + 3700 + 1300);
  // The middle element at its level after the master stage's headroom.
  EXPECT_NEAR(pcm[2 * (first + 2500 + 1800)], 8000 * wail::kHeadroom, 1.0);
}

} // namespace
