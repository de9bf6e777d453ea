// A library session as a host runs one: start-up (live or offline), a bank imported with its
// samples found through the tool's own virtual-path callback, the channel table seen through
// the public API, and an orderly shutdown that stops and discards everything.
#pragma once

#include "bank_reader.h"
#include "channel_events.h"

#include <filesystem>
#include <ksnd32.h>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ksfx {

enum class Output {
  Offline, // nothing advances until the session renders (KSND_AUDIO=offline)
  Device,  // whatever output the audio library opens: a sound device, or as KSND_AUDIO says
};

class Session {
public:
  Session(Output output, int channels);
  ~Session();
  Session(const Session &) = delete;
  Session &operator=(const Session &) = delete;

  // Reads and checks the bank, makes sure every sample file can be found and is PCM, then
  // imports it. A sample the bank names is used where it is; otherwise it is looked for in
  // each folder of `vpath`, then the bank's folder, then each of `more`: in each, under the
  // name as stored (relative to the folder) and under its file name alone. When one is not
  // found the error lists every path tried.
  void load_bank(const std::filesystem::path &bank, const std::vector<std::filesystem::path> &vpath,
                 const std::vector<std::filesystem::path> &more = {});

  const BankInfo &bank() const { return info_; }
  int bank_number() const { return bank_; }
  int channel_count() const { return channels_; }

  // The sound number for a name or number, or a ToolError naming `where`.
  int sound(const std::string &nameOrNumber, const std::string &where) const;
  std::string label(int key) const;
  // A new duplicate `dup` of sound `source` gets a key (and a label) of its own.
  int register_duplicate(int dup, int source);

  std::vector<ChannelState> channels() const;
  int channel_of(int soundNumber) const; // -1 when it is on no channel
  bool busy() const; // a channel plays or holds a suspended sound, or the tune plays
  // The output the library opened: the last device listed, which its search prefers.
  static std::string output_name();

private:
  int key_of(const SoundRecord *record) const;
  void check_samples() const;
  void stop_everything();

  int channels_;
  int bank_ = -1;
  BankInfo info_;
  mutable std::map<const SoundRecord *, int> keys_; // bank records and duplicates
  mutable std::map<int, std::string> labels_;
  mutable int nextKey_ = 0;
};

} // namespace ksfx
