// The digital driver and the channel pool: finds a wave device for the output format, opens
// the driver, builds the channel table with one sample handle per channel, and owns the idle
// record. A device whose capabilities cannot be read counts as reporting no format. When the
// table cannot be allocated (code 5) or fewer handles than channels are obtained (code 4), the
// driver is closed with its handles and the table released before the open reports failure, so
// a later start-up finds nothing left open.
#include "engine/channels.h"

#include "engine/lock.h"
#include "engine/playback.h"
#include "engine/state.h"
#include "exports/boundary.h"
#include "platform/memory.h"

namespace engine {

SoundRecord g_idleRecord = {-2, 0, 0, nullptr, 0,       0,       nullptr, 0, 0,
                            0,  0, 0, 0,       nullptr, nullptr, 0,       0};

// table: written by open_driver and release_channel_table on the host thread; its entries are
// read and written by effect operations and the end-of-sample callback, both under AIL_lock.
ChannelPool g_channels = {nullptr, 0, nullptr};

namespace {

constexpr uint32_t kBaseRate = 11025;

// Whether format bit `bit` of a device meets every non-zero criterion.
bool format_matches(int bit, uint16_t bits, uint32_t rate, uint32_t stereo) {
  uint32_t bitRate = kBaseRate << (bit / 4);
  uint32_t bitStereo = (bit % 4 == 1 || bit % 4 == 3) ? 1 : 0;
  uint16_t bitBits = (bit % 4 >= 2) ? 16 : 8;
  return (rate == 0 || bitRate == rate) && (stereo == 0 || bitStereo == stereo) &&
         (bits == 0 || bitBits == bits);
}

bool device_supports(uint32_t device, uint16_t bits, uint32_t rate, uint32_t stereo) {
  WAVEOUTCAPSA caps{};
  if (waveOutGetDevCapsA(device, &caps, sizeof caps) != 0) return false;
  for (int bit = 0; bit < 32; ++bit) {
    if ((caps.dwFormats >> bit) & 1u && format_matches(bit, bits, rate, stereo)) return true;
  }
  return false;
}

// Opens the digital driver on `device`; 0 when the audio library refuses (code 3).
HDIGDRIVER open_wave_driver(int32_t device, uint16_t bits, uint32_t rate, uint32_t stereo) {
  PCMWAVEFORMAT format{};
  format.wFormatTag = 1;
  format.nChannels = stereo != 0 ? 2 : 1;
  format.nSamplesPerSec = rate;
  format.nBlockAlign = (uint16_t)(format.nChannels * (bits / 8));
  format.nAvgBytesPerSec = rate * format.nBlockAlign;
  format.wBitsPerSample = bits;

  HDIGDRIVER driver = nullptr;
  if (AIL_waveOutOpen(&driver, nullptr, device, &format) != 0) {
    set_error(kDriverOpenFailed);
    g_state.driverFailureText = AIL_last_error();
    return nullptr;
  }
  set_error(kOk);
  return driver;
}

// Fills entries while the driver gives handles; returns how many were filled.
uint16_t fill_channel_table(HDIGDRIVER driver, uint16_t channels) {
  uint16_t k = 0;
  for (; k < channels; ++k) {
    HSAMPLE handle = AIL_allocate_sample_handle(driver);
    if (handle == nullptr) break;
    Channel &entry = g_channels.table[k];
    entry = Channel{driver, handle, &g_idleRecord, nullptr, 0};
    AIL_register_EOS_callback(handle, end_of_sample);
    AIL_set_sample_user_data(handle, 0, reinterpret_cast<intptr_t>(&entry));
  }
  return k;
}

} // namespace

int32_t find_wave_device(uint16_t bits, uint32_t rate, uint32_t stereo) {
  uint32_t devices = waveOutGetNumDevs();
  if (devices == 0) {
    set_error(kNoWaveDevice);
    return -1;
  }
  for (uint32_t device = devices; device-- > 0;) {
    if (device_supports(device, bits, rate, stereo)) {
      set_error(kOk);
      return (int32_t)(uint16_t)device;
    }
  }
  set_error(kNoMatchingFormat);
  return -1;
}

int32_t open_driver(uint16_t bits, uint32_t rate, uint32_t stereo, uint16_t channels) {
  int32_t device = find_wave_device(bits, rate, stereo);
  if (device < 0) return 0;
  HDIGDRIVER driver = open_wave_driver(device, bits, rate, stereo);
  if (driver == nullptr) return 0;

  release_channel_table();
  g_channels.driver = driver;
  g_channels.table = static_cast<Channel *>(platform::global_alloc(channels * sizeof(Channel)));
  if (g_channels.table == nullptr) {
    set_error(kOutOfMemory);
    abandon_driver();
    return 0;
  }
  if (fill_channel_table(driver, channels) < channels) {
    set_error(kTooFewHandles);
    abandon_driver();
    return 0;
  }
  g_channels.count = channels;
  return 1;
}

void release_channel_table() {
  if (g_channels.table != nullptr) platform::global_free(g_channels.table);
  g_channels = {nullptr, 0, nullptr};
}

void abandon_driver() {
  if (g_channels.driver != nullptr) AIL_waveOutClose(g_channels.driver);
  release_channel_table();
}

bool channel_holds(const SoundRecord *record) {
  for (uint16_t k = 0; k < live_channel_count(); ++k) {
    const Channel &channel = g_channels.table[k];
    if (channel.current == record || channel.suspended == record) return true;
  }
  return false;
}

uint16_t live_channel_count() { return g_state.initialised ? g_channels.count : 0; }

} // namespace engine

// Address of channel table entry `index` (low 16 bits); null past the live channel count.
extern "C" KSND_API Channel *KSFX_GetChannel(uint32_t index) {
  return exports::guarded<Channel *>(nullptr, [&] {
    engine::AudioLock lock;
    uint16_t k = (uint16_t)index;
    if (k >= engine::live_channel_count()) return (Channel *)nullptr;
    return &engine::g_channels.table[k];
  });
}
