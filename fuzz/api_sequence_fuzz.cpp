// libFuzzer harness over the C API as a host drives it, over the real audio library in offline
// mode (time moves only when the harness renders). Each input is a program: a byte picks an
// operation and the bytes after it give its arguments: start-up with odd counts, imports of
// mutated banks whose WAV files lie in a temporary directory, play, place, update, stop, copies
// and kills, the host's own records, listener moves and envelope, tunes, discards, restarts and
// renders. After every operation the audio library's accounting must hold (every start was
// called back, halted, or still plays) and so must the engine's channel invariant; before a
// bank is discarded, and at the end, a host that stopped everything it knows of must find every
// channel idle and, at the end, hear silence. A breach prints what broke and aborts.
#include "audio/counters.h"
#include "audio/voices.h"
#include "engine/playback.h"
#include "fuzz/wav_image.h"
#include "ksnd32.h"
#include "platform/memory.h"
#include "platform/message_box.h"
#include "tests/audio/midi_test_tunes.h"
#include "tests/support/channel_invariant.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// The input, read a byte at a time; past its end every byte reads 0.
struct Program {
  const uint8_t *data;
  size_t size;
  size_t at = 0;
  bool done() const { return at >= size; }
  uint8_t byte() { return at < size ? data[at++] : 0; }
  uint16_t word() { return (uint16_t)(byte() | byte() << 8); }
};

[[noreturn]] void fail(const std::string &what) {
  std::fprintf(stderr, "api_sequence: %s\n", what.c_str());
  std::abort();
}

// ---- Files prepared once: WAV samples, seed banks, tunes ----

void put(const std::string &path, const Bytes &bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char *>(bytes.data()), (std::streamsize)bytes.size());
}

Bytes get(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

using fuzzing::wav;

SoundRecord sound(uint32_t priority, uint16_t flags, uint32_t sampleIndex) {
  SoundRecord r{};
  r.priority = priority;
  r.flags = flags;
  r.rate = r.volume = r.pan = -1;
  r.sampleIndex = sampleIndex;
  return r;
}

// Bank "a": plain, resumable loop, interrupter, sequential and random groups, a short loop, a
// resumable one-shot. Bank "b": two sounds with names.
std::vector<Bytes> compile_seed_banks(const std::string &dir) {
  static const char *const names[] = {"s8.wav", "s16.wav", "short.wav"};
  SampleRecord samples[3] = {};
  SoundRecord a[7] = {
      sound(1, 0, 0),          sound(2, KSFX_RESUME | KSFX_LOOP, 1),  sound(6, 0, 0),
      sound(3, KSFX_GROUP, 0), sound(4, KSFX_GROUP | KSFX_RANDOM, 0), sound(5, KSFX_LOOP, 2),
      sound(2, KSFX_RESUME, 0)};
  for (uint32_t k = 0; k < 7; ++k) a[k].sample = &samples[a[k].sampleIndex];
  SoundRecord *sequence[] = {&a[0], &a[2], nullptr};
  SoundRecord *random[] = {&a[0], &a[1], &a[6], nullptr};
  a[3].list = sequence, a[3].listCount = 2;
  a[4].list = random, a[4].listCount = 3;
  SoundRecord b[2] = {sound(3, KSFX_RESUME, 0), sound(1, KSFX_LOOP, 2)};
  for (SoundRecord &r : b) r.sample = &samples[r.sampleIndex];
  const char *const soundNames[] = {"door", "hum"};
  const std::string pathA = dir + "a.kfx", pathB = dir + "b.kfx";
  if (!CompileSFXpackage(pathA.c_str(), a, nullptr, 7, samples, names, 3) ||
      !CompileSFXpackage(pathB.c_str(), b, soundNames, 2, samples, names, 3))
    fail("cannot compile the seed banks");
  return {get(pathA), get(pathB)};
}

int32_t give_up(const char *) { return 0; }
int32_t dismiss(const char *, const char *, uint32_t) { return 1; }

struct Fixture {
  std::string dir;          // temporary directory of samples and banks
  std::string input;        // where each mutated bank is written
  std::vector<Bytes> seeds; // seed bank images
  std::vector<Bytes> tunes; // SMF and XMIDI images
  ~Fixture() {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
};

Fixture &fixture() {
  static Fixture f = [] {
    setenv("KSND_AUDIO", "offline", 1);
    Fixture made;
    std::string pattern = (std::filesystem::temp_directory_path() / "ksnd_api_XXXXXX").string();
    if (!mkdtemp(pattern.data())) fail("cannot make a temporary directory");
    made.dir = pattern + "/";
    made.input = made.dir + "input.kfx";
    put(made.dir + "s8.wav", wav(1, 8, 11025, 1200));
    put(made.dir + "s16.wav", wav(2, 16, 22050, 4000));
    put(made.dir + "short.wav", wav(1, 8, 8000, 16));
    // An empty SoundFont: tunes are sequenced as usual and play silently, without the seconds
    // a real SoundFont takes to load under the sanitizers at every start-up.
    put(made.dir + "silent.sf2", {});
    setenv("KSND_SOUNDFONT", (made.dir + "silent.sf2").c_str(), 1);
    SetVirtualFilePath(made.dir.c_str());
    SetVirtualFilePathCallBack(give_up);
    platform::set_message_box_hook(dismiss);
    made.seeds = compile_seed_banks(made.dir);
    made.tunes = {midi_test::reference_smf(), midi_test::reference_xmidi()};
    return made;
  }();
  return f;
}

// ---- The host ----

struct Counts {
  uint64_t starts, delivered, halts;
};

Counts counts_now() {
  return {wail::g_counters.starts.load(), wail::g_counters.delivered.load(),
          wail::g_counters.halts.load()};
}

uint64_t voices_playing() {
  uint64_t playing = 0;
  for (uint32_t i = 0; i < wail::kMaxVoices; ++i) {
    const wail_sample &voice = wail::voice_at(i);
    playing += voice.allocated && voice.status == SMP_PLAYING;
  }
  return playing;
}

uint8_t g_pcm[2000];

struct Host {
  std::vector<int32_t> banks;  // bank numbers ImportSFXpackage returned
  std::vector<int32_t> copies; // sound numbers SoundDup returned for copies
  SampleRecord sample{g_pcm, nullptr, sizeof g_pcm, 11025, 100, 64, 0, 0};
  SoundRecord own[3] = {}; // the host's own records: a one-shot, a resumable loop, a high one
  void *tune = nullptr;    // the data last given to KTUNE_InitTune, a block
  Counts base{};           // the counters when the driver last closed
  const char *step = "";   // the operation being checked, for the failure text

  Host() {
    std::memset(g_pcm, 0x90, sizeof g_pcm);
    const std::pair<uint32_t, uint16_t> kinds[] = {{2, 0}, {1, KSFX_RESUME | KSFX_LOOP}, {7, 0}};
    for (int k = 0; k < 3; ++k) {
      own[k] = sound(kinds[k].first, kinds[k].second, 0);
      own[k].sample = &sample;
    }
  }

  // Every sound the host knows of: the loaded banks' records, the copies, its own records.
  template <typename Visit> void each_known(Visit visit) {
    for (int32_t bank : banks)
      for (uint32_t k = 0; k < SoundDbgInfo(bank)->soundCount; ++k) visit(bank, (int32_t)k);
    for (int32_t copy : copies) visit(0, copy);
  }
  int playing() {
    int count = 0;
    each_known([&](int32_t bank, int32_t sound) { count += IsSoundPlaying(bank, sound); });
    for (SoundRecord &r : own) count += r.status == 1;
    return count;
  }
  // Stops every known sound, repeating while any reads as playing; records left playing across
  // a restart read so for ever, hence the bound.
  void stop_everything() {
    for (int round = 0; round < 16 && playing() > 0; ++round) {
      each_known([](int32_t bank, int32_t sound) { SoundStop(bank, sound); });
      for (SoundRecord &r : own) KSFX_StopSFX(&r);
    }
    if (support::busy_channels() != 0)
      fail(std::string("after ") + step + ": " + std::to_string(support::busy_channels()) +
           " channels still play after the host stopped everything\n" +
           support::describe_busy_channels());
  }
  // Stops everything and kills every copy, so nothing refers to a bank's memory any more.
  void let_go_of_banks() {
    stop_everything();
    for (int32_t copy : copies) SoundDupKill(0, copy);
    copies.clear();
  }
  void discard(size_t index) {
    let_go_of_banks();
    DiscardPackageSampleBits(banks[index]);
    DiscardSFXpackage(banks[index]);
    banks.erase(banks.begin() + (long)index);
  }
  // Discards every bank and closes the library, leaving the own records of mask `leave`
  // playing across the close (they then read as playing for ever).
  void close(uint8_t leave = 0) {
    let_go_of_banks();
    while (!banks.empty()) discard(banks.size() - 1);
    for (int k = 0; k < 3; ++k)
      if (leave >> k & 1) KSFX_PlaySFX(&own[k]);
    KSOUNDClose();
    base = counts_now();
  }

  void check() {
    AIL_lock();
    const Counts now = counts_now();
    const uint64_t starts = now.starts - base.starts, delivered = now.delivered - base.delivered,
                   halts = now.halts - base.halts, playing = voices_playing();
    const std::string breach = support::channel_invariant_breach();
    AIL_unlock();
    if (starts != delivered + halts + playing)
      fail(std::string("after ") + step + ": " + std::to_string(starts) + " starts, " +
           std::to_string(delivered) + " delivered, " + std::to_string(halts) + " halted, " +
           std::to_string(playing) + " playing");
    if (!breach.empty()) fail(std::string("after ") + step + ": " + breach);
  }
};

float g_mix[2 * 2400];

// A bank number: mostly a loaded one, sometimes any small number.
int32_t pick_bank(Program &p, const Host &host) {
  uint8_t b = p.byte();
  if (b < 240 && !host.banks.empty()) return host.banks[b % host.banks.size()];
  return (int32_t)b - 248;
}

// A sound number: a record of the bank (or one past), a copy the host was given, or a number
// past every pool. A host plays no slot it was not given: a slot's record may still refer to a
// bank discarded since.
int32_t pick_sound(Program &p, const Host &host) {
  uint8_t s = p.byte();
  if (!(s & 0x80)) return s % 8;
  if (!host.copies.empty() && (s & 0x40)) return host.copies[s % host.copies.size()];
  return -2 - 256 - (s & 15);
}

void restart(Program &p, Host &host) {
  static const uint32_t kChannels[] = {0, 1, 2, 3, 4, 5, 8, 16, 256, 257, 300, 0x10003};
  host.close(p.byte());
  uint32_t channels = kChannels[p.byte() % std::size(kChannels)];
  KSOUNDInit(channels, (uint32_t)p.word());
}

void import(Program &p, Host &host) {
  Fixture &f = fixture();
  Bytes image = f.seeds[p.byte() % f.seeds.size()];
  for (int n = p.byte() % 4; n > 0; --n) {
    size_t at = p.word() % image.size();
    image[at] ^= p.byte();
  }
  put(f.input, image);
  int32_t bank = ImportSFXpackage(f.input.c_str());
  if (bank >= 0) host.banks.push_back(bank);
}

// Imports seed bank "a" as it is.
void import_seed(Host &host) {
  put(fixture().input, fixture().seeds[0]);
  int32_t bank = ImportSFXpackage(fixture().input.c_str());
  if (bank >= 0) host.banks.push_back(bank);
}

void tune(Program &p, Host &host) {
  switch (p.byte() % 8) {
  case 0: { // bind a tune read into a block, perhaps damaged or cut
    const Bytes &source = fixture().tunes[p.byte() % 2];
    Bytes data = source;
    for (int n = p.byte() % 3; n > 0; --n) {
      size_t at = p.word() % data.size();
      data[at] ^= p.byte();
    }
    data.resize(data.size() - p.byte() % 8);
    void *block = platform::global_alloc(data.size());
    std::memcpy(block, data.data(), data.size());
    KTUNE_InitTune(block, p.byte() % 2);
    GlobalFree(host.tune);
    host.tune = block;
    break;
  }
  case 1:
    KTUNE_StartTune();
    break;
  case 2:
    KTUNE_StopTune();
    break;
  case 3:
    KTUNE_ResumeTune();
    break;
  case 4:
    KTUNE_SetVolume((int32_t)p.byte() - 64);
    break;
  case 5:
    KTUNE_SetTempo((int16_t)p.word());
    break;
  case 6:
    KTUNE_SetRepeats(p.byte() % 4);
    break;
  default:
    KTUNE_CurrentlyPlaying();
    KTUNE_GetTempo();
  }
}

void run(Program &p, Host &host) {
  enum Op : uint8_t {
    kRestart,
    kImport,
    kDiscard,
    kPlay,
    kPlace,
    kUpdate,
    kStop,
    kDup,
    kDupKill,
    kDupKillAll,
    kEar,
    kEnvelope,
    kOwnPlay,
    kOwnStop,
    kOwnPlace,
    kRender,
    kTune,
    kServe,
    kOpCount
  };
  static const char *const kNames[] = {"restart", "import",   "discard",  "play",     "place",
                                       "update",  "stop",     "dup",      "dupkill",  "dupkillall",
                                       "ear",     "envelope", "own play", "own stop", "own place",
                                       "render",  "tune",     "serve"};
  // Play and stop come most often: displacement and resumption need several in a row.
  static const Op kWeighted[32] = {
      kPlay,     kPlay,   kPlay,   kPlay,     kPlay,    kPlay,    kStop,       kStop,
      kStop,     kStop,   kRender, kRender,   kRender,  kDup,     kDup,        kOwnPlay,
      kOwnPlay,  kPlace,  kPlace,  kTune,     kTune,    kDupKill, kDupKillAll, kOwnStop,
      kOwnPlace, kUpdate, kEar,    kEnvelope, kRestart, kImport,  kDiscard,    kServe};
  static_assert(kOpCount == 18);
  const Op op = kWeighted[p.byte() % 32];
  host.step = kNames[op];
  switch (op) {
  case kRestart:
    restart(p, host);
    break;
  case kImport:
    import(p, host);
    break;
  case kDiscard:
    if (!host.banks.empty()) host.discard(p.byte() % host.banks.size());
    break;
  case kPlay: {
    int32_t bank = pick_bank(p, host);
    SoundPlay(bank, pick_sound(p, host));
    break;
  }
  case kPlace: {
    int32_t bank = pick_bank(p, host), sound = pick_sound(p, host);
    int16_t x = (int16_t)p.word(), y = (int16_t)p.word();
    SoundPlace(bank, sound, x, y);
    break;
  }
  case kUpdate: {
    int32_t bank = pick_bank(p, host), sound = pick_sound(p, host);
    int32_t rate = p.byte() ? 4000 + 100 * p.byte() : -1;
    SoundUpdate(bank, sound, rate, p.byte() % 140, -1);
    break;
  }
  case kStop: {
    int32_t bank = pick_bank(p, host);
    SoundStop(bank, pick_sound(p, host));
    break;
  }
  case kDup: {
    int32_t bank = pick_bank(p, host);
    int32_t copy = SoundDup(bank, pick_sound(p, host));
    if (copy <= -2) host.copies.push_back(copy);
    break;
  }
  case kDupKill: {
    int32_t bank = pick_bank(p, host);
    SoundDupKill(bank, pick_sound(p, host));
    break;
  }
  case kDupKillAll: {
    int32_t bank = pick_bank(p, host);
    SoundDupKillAll(bank, pick_sound(p, host));
    break;
  }
  case kEar: {
    int16_t x = (int16_t)p.word(), y = (int16_t)p.word();
    KSFX_SetEarPos(x, y, (int16_t)p.word());
    break;
  }
  case kEnvelope:
    KSFX_SetEnvelope((int16_t)((int8_t)p.byte()));
    break;
  case kOwnPlay:
    KSFX_PlaySFX(&host.own[p.byte() % 3]);
    break;
  case kOwnStop:
    KSFX_StopSFX(&host.own[p.byte() % 3]);
    break;
  case kOwnPlace: {
    SoundRecord &record = host.own[p.byte() % 3];
    int16_t x = (int16_t)p.word();
    KSFX_Play3DSFX(&record, x, (int16_t)p.word());
    break;
  }
  case kRender: // in short blocks, each checked, so a breach that a later end repairs is seen
    for (int blocks = p.byte() + 1; blocks > 0; --blocks) {
      AIL_render_offline(g_mix, 64);
      host.check();
    }
    break;
  case kTune:
    tune(p, host);
    break;
  default:
    SoundServe();
  }
  host.check();
}

// With the library started, a host that stopped everything hears silence: no voice plays and
// a block (after a few for any tail to pass) renders as zeros.
void expect_silence(Host &host) {
  host.step = "the end";
  host.stop_everything();
  KTUNE_StopTune();
  if (AIL_render_offline(g_mix, 2400) == 0) return; // not started: nothing renders
  AIL_render_offline(g_mix, 240);
  for (size_t i = 0; i < 2 * 240; ++i)
    if (g_mix[i] != 0.0f) fail("sound is heard after the host stopped everything");
  AIL_lock();
  const uint64_t playing = voices_playing();
  AIL_unlock();
  if (playing != 0) fail(std::to_string(playing) + " voices play after everything stopped");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fixture();
  const long blocks = platform::live_blocks();
  Host host;
  host.base = counts_now();
  engine::reset_random();
  KSFX_SetEarPos(0, 0, -1);
  KSFX_SetEnvelope(6);
  Program program{data, size};
  // Few channels and a loaded bank from the first step, so displacement is never far away.
  KSOUNDInit(1 + program.byte() % 4, 16);
  import_seed(host);
  for (int steps = 0; steps < 256 && !program.done(); ++steps) run(program, host);
  expect_silence(host);
  host.close();
  KTUNE_ShutDown();
  GlobalFree(host.tune);
  if (platform::live_blocks() != blocks) fail("blocks were left allocated");
  return 0;
}
