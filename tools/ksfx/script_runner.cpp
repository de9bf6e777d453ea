// The script runner: commands become handle-API and KTUNE_ calls; rendering runs in blocks cut
// at command frames so each command lands on its exact frame.
#include "script_runner.h"

#include "commands.h"
#include "error.h"
#include "file_util.h"
#include "progress.h"
#include "text.h"
#include "tune_tail.h"
#include "wav_writer.h"

#include <chrono>
#include <cmath>
#include <thread>

namespace ksfx {
namespace {

constexpr double kTailLimit = 60.0;     // seconds after the last command that sounds may ring on
constexpr uint64_t kBlockDivisor = 100; // blocks of 10 ms

std::string command_text(const ScriptCommand &cmd) {
  std::string text = op_name(cmd.op);
  if (!cmd.sound.empty()) text += " " + cmd.sound;
  for (int32_t n : cmd.numbers) text += " " + std::to_string(n);
  if (cmd.op == Op::Tune) text += " " + cmd.text;
  return text;
}

} // namespace

ScriptRunner::ScriptRunner(Session &session, Script script, const std::filesystem::path &baseDir,
                           LineSink sink)
    : session_(session), script_(std::move(script)), sink_(std::move(sink)) {
  std::string problems;
  for (size_t i = 0; i < script_.commands.size(); ++i) {
    const ScriptCommand &cmd = script_.commands[i];
    std::string where = script_.source + ":" + std::to_string(cmd.line);
    try {
      if (!cmd.sound.empty()) sounds_[i] = session_.sound(cmd.sound, where);
      if (cmd.op == Op::Tune) tuneFiles_[i] = read_file(baseDir / cmd.text, 16u << 20);
    } catch (const ToolError &e) {
      std::string message = e.what();
      if (message.rfind(where, 0) != 0) message = where + ": " + message;
      join_to(problems, "\n", message);
    }
  }
  if (!problems.empty()) throw ToolError(problems);
  for (int key = 0; key < static_cast<int>(session_.bank().sounds.size()); ++key)
    timeline_.set_label(key, session_.label(key));
  int16_t x = 0, y = 0, direction = 0;
  KSFX_GetEarPos(&x, &y, &direction);
  timeline_.listener(0, x, y, direction);
}

double ScriptRunner::last_time() const {
  return script_.commands.empty() ? 0 : script_.commands.back().time;
}

bool ScriptRunner::finished(double now) const {
  if (script_.end && now >= *script_.end) return true;
  if (next_ < script_.commands.size()) return false;
  return !session_.busy() || now >= last_time() + kTailLimit;
}

void ScriptRunner::run_due(double dueBy, double now) {
  bool ran = false;
  while (next_ < script_.commands.size() && script_.commands[next_].time <= dueBy) {
    if (script_.end && script_.commands[next_].time >= *script_.end) {
      next_ = script_.commands.size();
      break;
    }
    execute(script_.commands[next_]);
    ++next_;
    ran = true;
  }
  if (ran) look(now);
}

std::string ScriptRunner::play_outcome(int sound, int32_t result, bool wasPlaying) {
  if (!result)
    return wasPlaying ? "refused: it is already playing"
                      : "refused: no idle channel and none with a lower priority";
  int channel = session_.channel_of(sound);
  if (channel < 0) return "a channel was chosen but nothing started";
  return "plays on channel " + std::to_string(channel);
}

ScriptRunner::Outcome ScriptRunner::sound_command(const ScriptCommand &cmd, int sound) {
  int bank = session_.bank_number();
  const std::vector<int32_t> &n = cmd.numbers;
  bool was = IsSoundPlaying(bank, sound);
  switch (cmd.op) {
  case Op::Play:
    return {play_outcome(sound, SoundPlay(bank, sound), was), false};
  case Op::Place: {
    int32_t result = SoundPlace(bank, sound, n[0], n[1]);
    const SoundRecord *r = SoundPtr(bank, sound);
    std::string levels =
        ": volume " + std::to_string(r->volume) + ", pan " + std::to_string(r->pan);
    return {(was ? std::string("moved") : play_outcome(sound, result, false)) + levels, was};
  }
  case Op::Update:
    return {SoundUpdate(bank, sound, n[0], n[1], n[2]) ? "applied"
                                                       : "not playing: kept for its next start",
            false};
  case Op::Stop:
    SoundStop(bank, sound);
    return {"done", false};
  default:
    return {duplicate(sound), false};
  }
}

// A copy of a playing sound, played at once; a sound that is not playing plays itself.
std::string ScriptRunner::duplicate(int sound) {
  int bank = session_.bank_number();
  int dup = SoundDup(bank, sound);
  if (dup == -1) return "no copy could be made";
  if (dup == sound)
    return "not playing, so the sound itself " + play_outcome(sound, SoundPlay(bank, sound), false);
  int key = session_.register_duplicate(dup, sound);
  timeline_.set_label(key, session_.label(key));
  SoundPlay(bank, dup);
  std::vector<ChannelState> channels = session_.channels();
  for (size_t c = 0; c < channels.size(); ++c)
    if (channels[c].current == key)
      return "copy " + std::to_string(dup) + " plays on channel " + std::to_string(c);
  return "copy " + std::to_string(dup) + " did not start";
}

ScriptRunner::Outcome ScriptRunner::music_command(const ScriptCommand &cmd, size_t index) {
  int32_t value = cmd.numbers.empty() ? 0 : cmd.numbers[0];
  switch (cmd.op) {
  case Op::Tune:
    KTUNE_StopTune(); // the sequencer lets go of the old data before it is replaced
    tune_ = tuneFiles_[index];
    tuneName_ = cmd.text;
    if (!KTUNE_InitTune(tune_.data(), 0))
      return {"refused: not a tune the audio library can play", false};
    return {KTUNE_StartTune() ? "playing" : "did not start", false};
  case Op::Tempo:
    timeline_.tune_note(cmd.time, "tempo " + std::to_string(value) + "%");
    return {KTUNE_SetTempo(value) ? "" : "no tune", false};
  case Op::Volume:
    timeline_.tune_note(cmd.time, "volume " + std::to_string(value));
    return {KTUNE_SetVolume(value) ? "" : "no tune", false};
  case Op::Repeats:
    return {KTUNE_SetRepeats(value) ? "" : "no tune", false};
  default:
    KTUNE_StopTune();
    return {"", false};
  }
}

ScriptRunner::Outcome ScriptRunner::setting_command(const ScriptCommand &cmd) {
  const std::vector<int32_t> &n = cmd.numbers;
  if (cmd.op == Op::Ear) {
    KSFX_SetEarPos(static_cast<int16_t>(n[0]), static_cast<int16_t>(n[1]),
                   static_cast<int16_t>(n[2]));
    timeline_.listener(cmd.time, n[0], n[1], n[2]);
  } else if (cmd.op == Op::Envelope) {
    KSFX_SetEnvelope(static_cast<int16_t>(n[0]));
  }
  return {"", true};
}

void ScriptRunner::execute(const ScriptCommand &cmd) {
  std::string text = command_text(cmd);
  timeline_.mark(cmd.time, text);
  Outcome outcome;
  switch (cmd.op) {
  case Op::Note:
    return say(cmd.time, cmd.text, false);
  case Op::Play:
  case Op::Place:
  case Op::Update:
  case Op::Stop:
  case Op::Dup:
    outcome = sound_command(cmd, sounds_.at(next_));
    break;
  case Op::Tune:
  case Op::Tempo:
  case Op::Volume:
  case Op::Repeats:
  case Op::TuneStop:
    outcome = music_command(cmd, next_);
    break;
  case Op::Ear:
  case Op::Envelope:
  case Op::End:
  case Op::Channels:
    outcome = setting_command(cmd);
    break;
  }
  say(cmd.time, outcome.text.empty() ? text : text + ": " + outcome.text, outcome.minor);
}

void ScriptRunner::look(double now) {
  bool playing = KTUNE_CurrentlyPlaying();
  if (playing != tunePlaying_) {
    tunePlaying_ = playing;
    timeline_.tune(now, playing, tuneName_);
    say(now, "the tune " + tuneName_ + (playing ? " starts" : " ends"), playing);
  }
  std::vector<ChannelState> channels = session_.channels();
  for (const ChannelEvent &e : timeline_.sample(now, channels)) {
    timeline_.set_label(e.sound, session_.label(e.sound));
    say(now,
        session_.label(e.sound) + " " + event_verb(e.kind) + " on channel " +
            std::to_string(e.channel),
        e.kind == EventKind::Start);
  }
}

double ScriptRunner::render(WavWriter &wav, Progress *progress) {
  uint32_t rate = AIL_output_rate();
  if (rate == 0) throw ToolError("the audio library reports no output rate");
  auto frame_of = [rate](double t) { return static_cast<uint64_t>(std::llround(t * rate)); };
  auto time_of = [rate](uint64_t f) { return static_cast<double>(f) / rate; };
  uint64_t block = rate / kBlockDivisor, frame = 0;
  uint64_t stopFrame = frame_of(script_.end.value_or(last_time() + kTailLimit));
  auto done = [&] {
    if (frame >= stopFrame) return true;
    return !script_.end && next_ >= script_.commands.size() && !session_.busy();
  };
  // A command is due once the frame it rounds to is reached.
  auto due_by = [&](uint64_t f) { return (static_cast<double>(f) + 0.5) / rate; };
  std::vector<float> buffer(block * 2);
  run_due(due_by(0), 0);
  look(0);
  while (!done()) {
    uint64_t target = std::min(frame + block, stopFrame);
    if (next_ < script_.commands.size())
      target = std::min(target, std::max(frame + 1, frame_of(script_.commands[next_].time)));
    uint32_t frames = static_cast<uint32_t>(target - frame);
    if (AIL_render_offline(buffer.data(), frames) != frames)
      throw ToolError("the audio library is not rendering offline");
    wav.write(std::span<const float>(buffer.data(), frames * 2u));
    frame = target;
    look(time_of(frame));
    run_due(due_by(frame), time_of(frame));
    if (progress) progress->update(time_of(frame));
  }
  if (next_ >= script_.commands.size() && session_.busy() && !script_.end)
    say(time_of(frame),
        "stopped " + std::to_string(static_cast<int>(kTailLimit)) +
            " s after the last command with sounds still playing (add an 'end')",
        false);
  double seconds = time_of(frame);
  if (!script_.end) seconds += render_tail(wav);
  timeline_.finish(seconds);
  return seconds;
}

void ScriptRunner::run_live() {
  auto start = std::chrono::steady_clock::now();
  auto elapsed = [start] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  run_due(0, 0);
  look(0);
  while (!interrupted() && !finished(elapsed())) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    SoundServe();
    double now = elapsed();
    look(now);
    run_due(now, now);
  }
  timeline_.finish(elapsed());
}

} // namespace ksfx
