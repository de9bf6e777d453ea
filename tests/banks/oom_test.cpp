// Out of memory through the bank and file exports: global operator new is replaced by a
// countdown that throws, swept over every allocation a call makes. Each failing run gives the
// export's documented failure value and leaves nothing allocated; the next normal call succeeds.
#include "bank_fixture.h"
#include "files/file_size_limit.h"

#include <atomic>
#include <new>

namespace {

std::atomic<long> g_countdown{0}; // the n-th allocation from now throws; 0 = none does

} // namespace

// The replacements allocate with malloc and release with free, a pair GCC cannot see through.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void *operator new(std::size_t size) {
  if (g_countdown.load() > 0 && g_countdown.fetch_sub(1) == 1) throw std::bad_alloc();
  if (void *block = std::malloc(size ? size : 1)) return block;
  throw std::bad_alloc();
}
void operator delete(void *block) noexcept { std::free(block); }
void operator delete(void *block, std::size_t) noexcept { std::free(block); }

namespace {

using namespace bank_test;

// Runs `call` with its 1st, 2nd, ... allocation throwing, until a run makes fewer allocations
// than that; after each run (the last included) `documented(result)` says whether the outcome is
// one the export documents, and cleans up after it. Returns how many runs ended in `failure`: a run
// may also succeed, where the allocation that failed was one the library can do without (the
// live-block registry's).
template <typename Result, typename Call, typename Check>
long sweep(Result failure, Call call, Check documented) {
  long failures = 0;
  for (long n = 1;; ++n) {
    g_countdown = n;
    Result result = call();
    bool failed = g_countdown.load() == 0;
    g_countdown = 0;
    EXPECT_TRUE(documented(result)) << "allocation " << n << " gave " << result;
    if (!failed) return failures;
    failures += result == failure;
  }
}

class OutOfMemoryTest : public BankTest {};

TEST_F(OutOfMemoryTest, ImportVirtualPathsAndCompileFailCleanlyThenWork) {
  const std::string sample = "a_sample_name_longer_than_sixteen.wav";
  put(sample, wav_image(1, 8, 11025, 32));
  std::string bank = bank_of({sample.c_str(), sample.c_str()});
  auto import = [&] { return ImportSFXpackage(bank.c_str()); };
  EXPECT_GT(sweep(-1, import,
                  [&](int32_t slot) {
                    int32_t released = DiscardPackageSampleBits(0) + DiscardSFXpackage(0);
                    return (slot == -1 || slot == 0) && released == 2 * (slot == 0) &&
                           leaked() == 0;
                  }),
            0);
  EXPECT_EQ(import(), 0);
  EXPECT_EQ(DiscardPackageSampleBits(0) + DiscardSFXpackage(0), 2);

  const std::string name = "C:\\some\\folder\\" + sample;
  char out[260];
  auto resolve = [&] { return VirtualizeFilePath(name.c_str(), out); };
  EXPECT_GT(sweep(0, resolve,
                  [&](int32_t found) { return found ? out == path(sample) : out[0] == '\0'; }),
            0);
  EXPECT_EQ(resolve(), 1);

  SoundRecord records[3] = {};
  SampleRecord samples[1] = {};
  const char *names[] = {sample.c_str()};
  Bytes before = read_bytes(bank); // the bank as the last successful write left it
  auto compile = [&] {
    return CompileSFXpackage(bank.c_str(), records, nullptr, 3, samples, names, 1);
  };
  EXPECT_GT(sweep(0, compile,
                  [&](int32_t written) {
                    Bytes now = read_bytes(bank);
                    bool kept = written ? now.size() == 60 + 3 * 60 + 28 + sample.size() + 1
                                        : now == before;
                    before = now;
                    return kept && names_in(dir_).size() == 4 && leaked() == 0;
                  }),
            0);
  EXPECT_EQ(compile(), 1);
  EXPECT_EQ(import(), 0);
  EXPECT_EQ(SoundDbgInfo(0)->soundCount, 3u);
}

} // namespace
