// Library start-up and shutdown: brings up the audio library, music, the digital driver with its
// channels and the duplicate pool in a fixed order, and takes them down again; plus SoundServe.
//
// After KSOUNDClose (or before KSOUNDInit) the channel table and the duplicate pool do not exist,
// and the operations that reach them without checking the initialised flag see nothing:
// KSFX_GetChannel returns null and KSFX_SetEarPos only stores the listener, because the live
// channel count is 0 while not initialised; SoundPtr, IsSoundPlaying and IsSoundLoop find no
// duplicate slot, because release_duplicate_pool leaves dupCount at 0.
//
// A driver open that fails after it obtained the driver (code 4, too few sample handles; code 5,
// no channel table) closes the driver with its handles and releases the table before KSOUNDInit
// returns 0, so a retry with sane arguments succeeds; music stays initialised, and the retry's
// KTUNE_Init reports that it already is. Running out of memory anywhere in start-up (the audio
// library's device lists included) gives 0 with code 5 and releases the same way.
#include "banks/duplicates.h"
#include "banks/package_table.h"
#include "engine/channels.h"
#include "engine/lock.h"
#include "engine/state.h"
#include "exports/boundary.h"
#include "ksnd32.h"

namespace {

constexpr uint16_t kOutputBits = 8;
constexpr uint32_t kOutputRate = 11025;
constexpr uint32_t kOutputStereo = 1;

int32_t start_up(uint32_t channels, uint32_t duplicates) {
  if (engine::g_state.initialised == 1) return 0;
  banks::ClearPackageTable();
  AIL_startup();
  if (KTUNE_Init() == 0) return 0;
  // open_driver sets codes 1-5 and gives back what it obtained when it fails.
  if (engine::open_driver(kOutputBits, kOutputRate, kOutputStereo, (uint16_t)channels) == 0)
    return 0;
  engine::g_state.initialised = 1;
  if (!banks::allocate_duplicate_pool(duplicates)) {
    KSOUNDClose();
    engine::set_error(engine::kOutOfMemory);
    return 0;
  }
  return 1;
}

// Start-up was interrupted by an exception (out of memory): release what it obtained.
int32_t abandon_start_up() {
  exports::guarded([] {
    if (engine::g_state.initialised == 1) {
      KSOUNDClose();
    } else {
      engine::abandon_driver();
    }
  });
  engine::set_error(engine::kOutOfMemory);
  return 0;
}

void shut_down() {
  if (engine::g_state.initialised == 0) return;
  KTUNE_ShutDown();
  AIL_shutdown();
  // Under the lock so that no late end-of-sample delivery sees a half-released table; taken only
  // after AIL_shutdown, which may wait for the audio library's own thread.
  engine::AudioLock lock;
  engine::release_channel_table();
  banks::release_duplicate_pool();
  engine::g_state.initialised = 0;
}

} // namespace

extern "C" {

int32_t KSOUNDInit(uint32_t channels, uint32_t duplicates) {
  constexpr int32_t kInterrupted = -1;
  int32_t result = exports::guarded(kInterrupted, [&] { return start_up(channels, duplicates); });
  return result == kInterrupted ? abandon_start_up() : result;
}

void KSOUNDClose(void) { exports::guarded(shut_down); }

void SoundServe(void) {
  exports::guarded([] {
    if (engine::g_state.initialised) AIL_serve();
  });
}

} // extern "C"
