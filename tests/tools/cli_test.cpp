// End-to-end runs of the built ksfx: a compiled bank imported by a host, info on good and
// damaged banks (agreeing with the importer over mutated banks), renders that repeat to the bit and
// show their events, the demo below full scale, the timeline's XML, and messages that name the
// line at fault.
#include "audio/master.h"
#include "bank_reader.h"
#include "error.h"
#include "file_util.h"
#include "wav_file.h"
#include "xml_check.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <ksnd32.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace ksfx; // read_file, write_file and the WAV helpers

struct Outcome {
  int status;
  std::string output; // stdout and stderr together
};

Outcome ksfx(const std::string &arguments) {
  FILE *pipe = popen((std::string(KSFX_PATH) + " " + arguments + " 2>&1").c_str(), "r");
  Outcome run{-1, ""};
  char chunk[4096];
  for (size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) run.output.append(chunk, n);
  int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

bool has(const std::string &s, const std::string &p) { return s.find(p) != std::string::npos; }

// The time printed before `event` on its line of a verbose render, or -1.
double event_time(const std::string &output, const std::string &event) {
  size_t at = output.find(event);
  if (at == std::string::npos) return -1;
  size_t line = output.rfind('\n', at);
  return std::atof(output.c_str() + (line == std::string::npos ? 0 : line + 1));
}

// A sine of `seconds` at 22050 Hz, 16-bit mono.
std::vector<uint8_t> tone(double seconds, double hz) {
  std::vector<int16_t> pcm(static_cast<size_t>(seconds * 22050));
  for (size_t i = 0; i < pcm.size(); ++i)
    pcm[i] = static_cast<int16_t>(12000 * std::sin(2 * M_PI * hz * static_cast<double>(i) / 22050));
  return ksfx::encode_wav16(pcm, 1, 22050);
}

constexpr const char *kManifest = R"(# test bank
[samples]
beep = "wav/beep.wav"
long = "wav/long.wav"
[[sound]]
name = "beep"
sample = "beep"
priority = 10
[[sound]]
name = "long"
sample = "long"
priority = 5
resume = true
[[sound]]
name = "seq"
group = ["beep", "long", "beep"]
)";

class Ksfx : public ::testing::Test {
protected:
  void SetUp() override {
    const char *test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    dir_ = fs::temp_directory_path() /
           ("ksfx_cli_" + std::string(test) + "_" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "wav");
    write_file(dir_ / "wav/beep.wav", tone(0.5, 880));
    write_file(dir_ / "wav/long.wav", tone(2.0, 220));
    write_text_file(dir_ / "bank.toml", kManifest);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string path(const std::string &name) const { return (dir_ / name).string(); }
  void compile() {
    Outcome run = ksfx("compile " + path("bank.toml") + " -o " + path("bank.ksfx"));
    ASSERT_EQ(run.status, 0) << run.output;
  }

  fs::path dir_;
};

TEST_F(Ksfx, CompiledBankImportsInAHostWithItsRecordsGroupsAndNames) {
  compile();
  SetVirtualFilePath((dir_ / "wav/").c_str());
  int bank = ImportSFXpackage(path("bank.ksfx").c_str());
  ASSERT_GE(bank, 0);
  const SoundDebugInfo *info = SoundDbgInfo(bank);
  EXPECT_EQ(info->soundCount, 3u);
  ASSERT_NE(info->soundIds, nullptr);
  EXPECT_STREQ(info->soundIds + 5, "long");
  SoundRecord *beep = SoundPtr(bank, 0), *longSound = SoundPtr(bank, 1), *seq = SoundPtr(bank, 2);
  EXPECT_TRUE(longSound->priority == 5 && longSound->flags == KSFX_RESUME);
  ASSERT_NE(longSound->sample, nullptr);
  EXPECT_EQ(longSound->sample->length, 2u * 44100);
  EXPECT_EQ(seq->flags, KSFX_GROUP);
  ASSERT_EQ(seq->listCount, 3u);
  EXPECT_TRUE(seq->list[0] == beep && seq->list[1] == longSound && seq->list[3] == nullptr);
  DiscardPackageSampleBits(bank);
  DiscardSFXpackage(bank);
}

TEST_F(Ksfx, ManifestAndSampleErrorsNameTheLineAndWriteNothing) {
  write_text_file(dir_ / "bad.toml",
                  std::string(kManifest) + "[[sound]]\nname = \"x\"\nsample = \"nope\"\n");
  Outcome run = ksfx("compile " + path("bad.toml") + " -o " + path("bad.ksfx"));
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(has(run.output, "bad.toml:19: sound 'x': unknown sample 'nope'")) << run.output;

  std::vector<uint8_t> floats = tone(0.1, 440);
  floats[20] = 3; // format tag: IEEE float
  write_file(dir_ / "wav/long.wav", floats);
  fs::remove(dir_ / "wav/beep.wav");
  run = ksfx("compile " + path("bank.toml") + " -o " + path("bad.ksfx"));
  EXPECT_EQ(run.status, 1);
  for (const char *part :
       {"bank.toml:3: sample 'beep': cannot read", "bank.toml:4: sample 'long':", "not PCM"})
    EXPECT_TRUE(has(run.output, part)) << part << " missing from\n" << run.output;
  EXPECT_FALSE(fs::exists(dir_ / "bad.ksfx"));
  EXPECT_FALSE(fs::exists(dir_ / "bad.ksfx.part"));
}

TEST_F(Ksfx, InfoShowsAGoodBankAndNamesTheDamageOfBadOnes) {
  compile();
  Outcome run = ksfx("info " + path("bank.ksfx"));
  ASSERT_EQ(run.status, 0) << run.output;
  for (const char *part :
       {"3 sounds, 2 samples", "beep, long, beep", "wav/long.wav", "0.500 s", "2.000 s"})
    EXPECT_TRUE(has(run.output, part)) << part << " missing from\n" << run.output;
  run = ksfx("info --json " + path("bank.ksfx"));
  for (const char *part : {"\"name\": \"seq\", \"priority\": 0, \"flags\": [\"group\"]",
                           "\"flags\": [\"resume\"]", "\"seconds\": 2}"})
    EXPECT_TRUE(has(run.output, part)) << part << " missing from\n" << run.output;

  std::vector<uint8_t> bank = read_file(dir_ / "bank.ksfx");
  write_file(dir_ / "cut.ksfx", std::vector<uint8_t>(bank.begin(), bank.begin() + 100));
  run = ksfx("info " + path("cut.ksfx"));
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(has(run.output, "damaged or not a bank: no \"SMP \" chunk")) << run.output;
  bank[32 + 60 + 56] = 7; // sound 1's sampleIndex
  write_file(dir_ / "index.ksfx", bank);
  run = ksfx("info " + path("index.ksfx"));
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(has(run.output, "sound 1 plays sample 7, the bank has 2")) << run.output;
}

// Deterministic damage to a bank: byte flips, truncations, chunk size edits, chunk swaps and
// inserted chunks of odd size.
class Mutator {
public:
  explicit Mutator(uint32_t seed) : state_(seed) {}

  std::vector<uint8_t> mutate(std::vector<uint8_t> bank) {
    for (uint32_t edits = 1 + next(2); edits > 0; --edits) {
      std::vector<std::pair<size_t, size_t>> chunks = chunk_spans(bank);
      switch (next(5)) {
      case 0:
        if (!bank.empty()) bank[next(bank.size())] ^= static_cast<uint8_t>(1 + next(255));
        break;
      case 1:
        bank.resize(next(bank.size() + 1));
        break;
      case 2:
        if (!chunks.empty()) resize_chunk(bank, chunks[next(chunks.size())].first);
        break;
      case 3:
        if (chunks.size() >= 2) swap_chunks(bank, chunks, next(chunks.size() - 1));
        break;
      default:
        insert_odd_chunk(bank, chunks.empty() ? 12 : chunks[next(chunks.size())].first);
      }
    }
    return bank;
  }

private:
  size_t next(size_t bound) {
    state_ = state_ * 1664525u + 1013904223u;
    return static_cast<size_t>((state_ >> 8) % bound);
  }
  static void put_size(std::vector<uint8_t> &b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
  }
  // (start, length with pad) of each whole chunk after the header.
  static std::vector<std::pair<size_t, size_t>> chunk_spans(const std::vector<uint8_t> &b) {
    std::vector<std::pair<size_t, size_t>> spans;
    for (size_t at = 12; at + 8 <= b.size();) {
      uint64_t length = 8ull + get_le32(b, at + 4) + (get_le32(b, at + 4) & 1);
      if (at + length > b.size()) break;
      spans.emplace_back(at, static_cast<size_t>(length));
      at += static_cast<size_t>(length);
    }
    return spans;
  }
  void resize_chunk(std::vector<uint8_t> &b, size_t at) {
    uint32_t size = get_le32(b, at + 4);
    const uint32_t choices[] = {0, size + 1, size - 1, size + 4, size * 2, 0xFFFFFFFF};
    put_size(b, at + 4, choices[next(6)]);
  }
  void swap_chunks(std::vector<uint8_t> &b, const std::vector<std::pair<size_t, size_t>> &c,
                   size_t i) {
    auto first = b.begin() + static_cast<std::ptrdiff_t>(c[i].first);
    std::rotate(first, first + static_cast<std::ptrdiff_t>(c[i].second),
                first + static_cast<std::ptrdiff_t>(c[i].second + c[i + 1].second));
  }
  void insert_odd_chunk(std::vector<uint8_t> &b, size_t at) {
    const uint32_t size = static_cast<uint32_t>(2 * next(3) + 1); // 1, 3 or 5 bytes and a pad
    std::vector<uint8_t> chunk = {'J', 'U', 'N', 'K', 0, 0, 0, 0};
    put_size(chunk, 4, size);
    chunk.resize(chunk.size() + size + 1, 0x55);
    b.insert(b.begin() + static_cast<std::ptrdiff_t>(std::min(at, b.size())), chunk.begin(),
             chunk.end());
    if (b.size() >= 8 && next(2)) put_size(b, 4, static_cast<uint32_t>(b.size()));
  }

  uint32_t state_;
};

// The file a stored sample name is looked for under the virtual path: its last component (after
// a drive letter), or "" when no such file can exist.
std::string sample_leaf(const std::string &name) {
  size_t cut = name.find_last_of("/\\");
  std::string leaf = cut == std::string::npos ? name : name.substr(cut + 1);
  if (cut == std::string::npos && leaf.size() >= 2 &&
      std::isalpha(static_cast<unsigned char>(leaf[0])) && leaf[1] == ':')
    leaf = leaf.substr(2);
  return leaf == "." || leaf == ".." || leaf.size() > 200 ? "" : leaf;
}

TEST_F(Ksfx, InfoAndTheImporterAgreeOnEveryMutatedBank) {
  compile();
  write_text_file(dir_ / "more.toml",
                  "[samples]\nb = \"wav/beep.wav\"\nl = \"wav/long.wav\"\n"
                  "[[sound]]\nname = \"r\"\ngroup = [\"b\", \"l\"]\nrandom = true\n"
                  "[[sound]]\nname = \"b\"\nsample = \"b\"\nloop = true\n"
                  "[[sound]]\nname = \"l\"\nsample = \"l\"\n");
  ASSERT_EQ(ksfx("compile " + path("more.toml") + " -o " + path("more.ksfx")).status, 0);
  const std::vector<uint8_t> seeds[] = {read_file(dir_ / "bank.ksfx"),
                                        read_file(dir_ / "more.ksfx")};
  fs::create_directories(dir_ / "vpath");
  SetVirtualFilePath((dir_ / "vpath/").c_str());
  const std::vector<uint8_t> wav = tone(0.01, 440);
  Mutator mutator(12);
  int importable = 0, refused = 0, unplaceable = 0;
  for (int i = 0; i < 1500; ++i) {
    std::vector<uint8_t> bank = mutator.mutate(seeds[i % 2]);
    write_file(dir_ / "m.ksfx", bank);
    std::string reason;
    try {
      for (const BankSample &sample : read_bank(bank).samples) {
        std::string leaf = sample_leaf(sample.file);
        if (leaf.empty()) throw std::invalid_argument("no file can have this name");
        write_file(dir_ / "vpath" / leaf, wav);
      }
    } catch (const ToolError &e) {
      reason = e.what();
    } catch (const std::invalid_argument &) {
      ++unplaceable;
      continue;
    }
    int32_t slot = ImportSFXpackage(path("m.ksfx").c_str());
    EXPECT_EQ(slot >= 0, reason.empty()) << "mutant " << i << ": " << reason;
    if (slot >= 0) {
      DiscardPackageSampleBits(slot);
      DiscardSFXpackage(slot);
    }
    (reason.empty() ? importable : refused) += 1;
    if (i % 100 == 0) { // the tool itself says the same
      EXPECT_EQ(ksfx("info " + path("m.ksfx")).status, reason.empty() ? 0 : 1) << "mutant " << i;
    }
  }
  EXPECT_GT(importable, 300);
  EXPECT_GT(refused, 300);
  EXPECT_LT(unplaceable, 30);
  std::printf("%d importable, %d refused, %d unplaceable\n", importable, refused, unplaceable);
}

TEST_F(Ksfx, RenderRepeatsToTheBitAndShowsStartsSuspensionAndResumption) {
  compile();
  write_text_file(dir_ / "s.txt", "0 channels 1\n0.5 play long\n1.0 play beep   # interrupts\n");
  std::string args = "render " + path("bank.ksfx") + " --script " + path("s.txt") + " -v -o ";
  Outcome first = ksfx(args + path("a.wav") + " --timeline " + path("a.svg"));
  ASSERT_EQ(first.status, 0) << first.output;
  Outcome second = ksfx(args + path("b.wav"));
  ASSERT_EQ(second.status, 0) << second.output;
  std::vector<uint8_t> a = read_file(dir_ / "a.wav");
  EXPECT_EQ(a, read_file(dir_ / "b.wav"));
  EXPECT_EQ(first.output, second.output);

  EXPECT_TRUE(has(first.output, "0.500  play long: plays on channel 0")) << first.output;
  EXPECT_TRUE(has(first.output, "1.000  long is suspended on channel 0"));
  // The beep lasts 0.5 s; the long sound then plays its remaining 1.5 s, not all 2 s again.
  // Ends are seen on their own frame, not at the end of a block.
  double resumed = event_time(first.output, "long resumes on channel 0");
  EXPECT_NEAR(resumed, 1.5, 0.0005) << first.output;
  EXPECT_NEAR(event_time(first.output, "long ends on channel 0"), 3.0, 0.0005);
  ksfx::WavShape shape = ksfx::check_pcm_wav(a);
  ASSERT_EQ(shape.channels, 2);
  size_t frames = shape.dataBytes / 4, firstSound = frames;
  for (size_t f = 0; f < frames && firstSound == frames; ++f)
    if (a[44 + 4 * f] || a[45 + 4 * f]) firstSound = f;
  EXPECT_GE(firstSound, shape.rate / 2);
  EXPECT_LT(firstSound, shape.rate / 2 + 48); // within a millisecond of 0.5 s
  // Not padded past the end; the resampler's fixed-point step may add a frame per voice.
  EXPECT_NEAR(static_cast<double>(frames), 3.0 * shape.rate, 8.0);

  std::string svg = read_text_file(dir_ / "a.svg");
  EXPECT_EQ(xml_problem(svg), "");
  EXPECT_TRUE(has(svg, ">long</text>") && has(svg, ">beep</text>"));
}

TEST_F(Ksfx, ScriptErrorsNameTheLineAndRenderNothing) {
  compile();
  write_text_file(dir_ / "s.txt", "0 play beep\n0.5 play bep\n1 tune missing.mid\n");
  Outcome run =
      ksfx("render " + path("bank.ksfx") + " --script " + path("s.txt") + " -o " + path("o.wav"));
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(has(run.output, "s.txt:2: the bank has no sound 'bep'")) << run.output;
  EXPECT_TRUE(has(run.output, "s.txt:3: cannot read")) << run.output;
  EXPECT_FALSE(fs::exists(dir_ / "o.wav"));
}

TEST_F(Ksfx, PlayOnTheNullOutputReportsTheSoundUntilItEnds) {
  compile();
  Outcome run = ksfx("play " + path("bank.ksfx") + " beep");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(has(run.output, "beep: playing on channel 0")) << run.output;
  EXPECT_TRUE(has(run.output, "beep ends on channel 0")) << run.output;
}

TEST_F(Ksfx, DemoRendersTheWholeShowWithItsEvents) {
  Outcome run = ksfx("demo -o " + path("demo.wav") + " --timeline " + path("demo.svg"));
  ASSERT_EQ(run.status, 0) << run.output;
  for (const char *event : {"voice is suspended on channel 0", "voice resumes on channel 0",
                            "play door: refused", "dup laser: copy -2", "tune demo.mid: playing"})
    EXPECT_TRUE(has(run.output, event)) << event << " missing from\n" << run.output;
  std::vector<uint8_t> wav = read_file(dir_ / "demo.wav");
  ksfx::WavShape shape = ksfx::check_pcm_wav(wav);
  double seconds = static_cast<double>(shape.dataBytes) / 4 / shape.rate;
  EXPECT_NEAR(seconds, 30.0, 5.0);
  std::vector<int16_t> pcm;
  for (size_t at = 44; at + 1 < wav.size(); at += 2)
    pcm.push_back(static_cast<int16_t>(wav[at] | (wav[at + 1] << 8)));
  double energy = 0;
  int peak = 0;
  for (int16_t s : pcm) energy += double(s) * s, peak = std::max(peak, std::abs(int(s)));
  EXPECT_GT(std::sqrt(energy / static_cast<double>(pcm.size())), 1000.0);
  EXPECT_LE(peak, std::lrint(wail::kCeiling * 32767)); // the limiter holds it below full scale
  // The tune's last notes fade to nothing before the file ends.
  EXPECT_TRUE(
      std::all_of(pcm.end() - 2 * shape.rate / 100, pcm.end(), [](int16_t s) { return !s; }));
  std::string svg = read_text_file(dir_ / "demo.svg");
  EXPECT_EQ(xml_problem(svg), "");
  EXPECT_TRUE(has(svg, ">laser (copy)</text>"));
}

// A bank whose sounds fight over one channel: `low` is neither resumable nor high, `loop`
// never ends.
constexpr const char *kFightManifest = R"([samples]
beep = "wav/beep.wav"
[[sound]]
name = "low"
sample = "beep"
priority = 1
[[sound]]
name = "high"
sample = "beep"
priority = 9
[[sound]]
name = "loop"
sample = "beep"
priority = 1
loop = true
)";

class Render : public Ksfx {
protected:
  void SetUp() override {
    Ksfx::SetUp();
    write_text_file(dir_ / "fight.toml", kFightManifest);
    Outcome run = ksfx("compile " + path("fight.toml") + " -o " + path("fight.ksfx"));
    ASSERT_EQ(run.status, 0) << run.output;
  }
  Outcome render(const std::string &script, const std::string &options = "") {
    write_text_file(dir_ / "s.txt", script);
    return ksfx("render " + path("fight.ksfx") + " --script " + path("s.txt") + " -o " +
                path("o.wav") + " " + options);
  }
};

TEST_F(Render, RefusalsAndTheCutOffAreWarningsNamingTheLineAndStrictFailsOnThem) {
  std::string fight = "0 channels 1\n0 play high\n0.1 play low\n0.2 dup high\n0.4 end\n";
  Outcome run = render(fight);
  EXPECT_EQ(run.status, 0) << run.output;
  for (const char *part : {"s.txt:3: warning: play low at 0.100 s: refused",
                           "s.txt:4: warning: dup high at 0.200 s: copy -2 did not start"})
    EXPECT_TRUE(has(run.output, part)) << part << " missing from\n" << run.output;
  EXPECT_TRUE(fs::exists(dir_ / "o.wav"));
  run = render(fight, "--strict");
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(has(run.output, "2 warnings with --strict")) << run.output;

  run = render("0 play loop\n");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(has(run.output, "s.txt:1: warning: stopped at 60.000 s, 60 s after the last command"))
      << run.output;
  EXPECT_EQ(render("0 play loop\n", "--strict").status, 1);
  EXPECT_EQ(render("0 play high\n", "--strict").status, 0);
}

TEST_F(Render, ACommandAfterEndIsAnErrorWithItsLine) {
  Outcome run = render("0 play high\n0.2 end\n0.3 play low\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(has(run.output, "s.txt:3: 'play' at 0.3 s comes after 'end' at 0.2 s (line 2)"))
      << run.output;
  EXPECT_FALSE(fs::exists(dir_ / "o.wav"));
}

TEST_F(Render, TimelineMarksCutsRefusalsAndCaptionsWithExactTimes) {
  Outcome run = render("0 channels 1\n0 note Low gives way & high plays.\n0 play low\n"
                       "0.125 play high\n0.25 play low\n",
                       "--timeline " + path("t.svg"));
  ASSERT_EQ(run.status, 0) << run.output;
  std::string svg = read_text_file(dir_ / "t.svg");
  EXPECT_EQ(xml_problem(svg), "");
  for (const char *part : {"low on channel 0: 0.000 s to 0.125 s, then cut off by high",
                           "class=\"cut\"", "class=\"refused\"", "0.250 s play low: refused",
                           ">1. 0.000 s  Low gives way &amp; high plays.</text>",
                           "volume (bar height = 127)", "listener facing", "facing 359.3&#176;"})
    EXPECT_TRUE(has(svg, part)) << part << " missing";
  EXPECT_FALSE(has(svg, "facing -1"));
}

TEST_F(Ksfx, SamplesAreFoundUnderTheirStoredNameInEachFolderAndEveryTriedPathIsNamed) {
  fs::create_directories(dir_ / "out");
  Outcome run = ksfx("compile " + path("bank.toml") + " -o " + path("out/bank.ksfx"));
  ASSERT_EQ(run.status, 0) << run.output;
  write_text_file(dir_ / "out/s.txt", "0 play beep\n");
  std::string args =
      "render " + path("out/bank.ksfx") + " --script " + path("out/s.txt") + " -o " + path("o.wav");
  // The test runs in the build tree, where the names as stored ("wav/beep.wav") lead nowhere.
  run = ksfx(args);
  EXPECT_EQ(run.status, 1);
  for (const std::string &part : {"sample file 'wav/beep.wav' not found; tried wav/beep.wav, " +
                                      path("out/wav/beep.wav") + ", " + path("out/beep.wav"),
                                  std::string("sample file 'wav/long.wav' not found")})
    EXPECT_TRUE(has(run.output, part)) << part << " missing from\n" << run.output;
  run = ksfx(args + " --vpath " + path("nowhere") + " --vpath " + dir_.string());
  EXPECT_EQ(run.status, 0) << run.output;
}

TEST_F(Ksfx, CommandLineNamesVersionUnknownCommandsAndWriteErrors) {
  Outcome run = ksfx("--version");
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(has(run.output, "ksfx 1.")) << run.output;
  run = ksfx("comple x");
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(has(run.output, "unknown command 'comple'")) << run.output;

  std::string manifest = read_text_file(dir_ / "bank.toml");
  run = ksfx("compile " + path("bank.toml") + " -o " + path("bank.toml"));
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(has(run.output, "is the manifest itself")) << run.output;
  EXPECT_EQ(read_text_file(dir_ / "bank.toml"), manifest);
  run = ksfx("compile " + path("bank.toml") + " -o " + path("no/such/dir/b.ksfx"));
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(has(run.output, "b.ksfx': No such file or directory")) << run.output;

  write_text_file(dir_ / "one.toml", "[samples]\nbeep = \"wav/beep.wav\"\n[[sound]]\n"
                                     "name = \"b\"\nsample = \"beep\"\n");
  run = ksfx("compile " + path("one.toml") + " -o " + path("one.ksfx"));
  EXPECT_TRUE(has(run.output, ": 1 sound, 1 sample\n")) << run.output;
  write_text_file(dir_ / "s.txt", "0 play b\n");
  run = ksfx("render " + path("one.ksfx") + " --script " + path("s.txt") + " -o " +
             path("no/such/dir/o.wav"));
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(has(run.output, "o.wav': No such file or directory")) << run.output;
}

} // namespace
