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

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

namespace ksfx {
namespace {

constexpr double kTailLimit = 60.0;     // seconds after the last command that sounds may ring on
constexpr uint64_t kBlockDivisor = 100; // blocks of 10 ms
constexpr uint64_t kEndWindow = 4;      // frames either side of an estimated end stepped singly
constexpr uint64_t kMaxSingleSteps = 64;

std::string seconds(double t) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f s", t);
  return text;
}

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
  if (ended_) return true;
  if (next_ < script_.commands.size()) return false;
  return !session_.busy() || now >= last_time() + kTailLimit;
}

void ScriptRunner::run_due(double dueBy, double now) {
  while (!ended_ && next_ < script_.commands.size() && script_.commands[next_].time <= dueBy) {
    const ScriptCommand &cmd = script_.commands[next_];
    if (cmd.op == Op::End) {
      ended_ = true;
      break;
    }
    execute(cmd);
    ++next_;
    look(now, cmd.op == Op::Stop ? EndCause::Stopped : EndCause::Taken);
  }
}

ScriptRunner::Outcome ScriptRunner::play_outcome(int sound, int32_t result, bool wasPlaying) {
  if (!result)
    return {wasPlaying ? "refused: it is already playing"
                       : "refused: no idle channel and none with a lower priority",
            false, true};
  int channel = session_.channel_of(sound);
  if (channel < 0) return {"a channel was chosen but nothing started", false, true};
  return {"plays on channel " + std::to_string(channel)};
}

ScriptRunner::Outcome ScriptRunner::sound_command(const ScriptCommand &cmd, int sound) {
  int bank = session_.bank_number();
  const std::vector<int32_t> &n = cmd.numbers;
  bool was = IsSoundPlaying(bank, sound);
  switch (cmd.op) {
  case Op::Play:
    return play_outcome(sound, SoundPlay(bank, sound), was);
  case Op::Place: {
    int32_t result = SoundPlace(bank, sound, n[0], n[1]);
    const SoundRecord *r = SoundPtr(bank, sound);
    std::string levels =
        ": volume " + std::to_string(r->volume) + ", pan " + std::to_string(r->pan);
    if (was) return {"moved" + levels, true};
    Outcome outcome = play_outcome(sound, result, false);
    outcome.text += levels;
    return outcome;
  }
  case Op::Update:
    return {SoundUpdate(bank, sound, n[0], n[1], n[2]) ? "applied"
                                                       : "not playing: kept for its next start"};
  case Op::Stop:
    SoundStop(bank, sound);
    return {"done"};
  default:
    return duplicate(sound);
  }
}

// A copy of a playing sound, played at once; a sound that is not playing plays itself.
ScriptRunner::Outcome ScriptRunner::duplicate(int sound) {
  int bank = session_.bank_number();
  int dup = SoundDup(bank, sound);
  if (dup == -1) return {"no copy could be made: every duplicate slot is in use", false, true};
  if (dup == sound) {
    Outcome outcome = play_outcome(sound, SoundPlay(bank, sound), false);
    outcome.text = "not playing, so the sound itself " + outcome.text;
    return outcome;
  }
  int key = session_.register_duplicate(dup, sound);
  timeline_.set_label(key, session_.label(key));
  SoundPlay(bank, dup);
  std::vector<ChannelState> channels = session_.channels();
  for (size_t c = 0; c < channels.size(); ++c)
    if (channels[c].current == key)
      return {"copy " + std::to_string(dup) + " plays on channel " + std::to_string(c)};
  return {"copy " + std::to_string(dup) + " did not start: no channel for its priority", false,
          true};
}

ScriptRunner::Outcome ScriptRunner::music_command(const ScriptCommand &cmd, size_t index) {
  int32_t value = cmd.numbers.empty() ? 0 : cmd.numbers[0];
  switch (cmd.op) {
  case Op::Tune:
    KTUNE_StopTune(); // the sequencer lets go of the old data before it is replaced
    tune_ = tuneFiles_[index];
    tuneName_ = cmd.text;
    if (!KTUNE_InitTune(tune_.data(), 0))
      return {"refused: not a tune the audio library can play", false, true};
    if (!KTUNE_StartTune()) return {"did not start", false, true};
    return {"playing"};
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
  return {"", true, false};
}

void ScriptRunner::execute(const ScriptCommand &cmd) {
  std::string text = command_text(cmd);
  if (cmd.op == Op::Note) {
    timeline_.caption(cmd.time, cmd.text);
    return say(cmd.time, cmd.text, false);
  }
  timeline_.mark(cmd.time, text);
  Outcome outcome;
  switch (cmd.op) {
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
  case Op::Note:
  case Op::Ear:
  case Op::Envelope:
  case Op::End:
  case Op::Channels:
    outcome = setting_command(cmd);
    break;
  }
  std::string line = outcome.text.empty() ? text : text + ": " + outcome.text;
  say(cmd.time, line, outcome.minor);
  if (outcome.refused) {
    timeline_.refusal(cmd.time, line);
    warnings_.push_back({cmd.line, text + " at " + seconds(cmd.time) + ": " + outcome.text});
  }
}

bool ScriptRunner::look(double now, EndCause cause) {
  bool playing = KTUNE_CurrentlyPlaying();
  if (playing != tunePlaying_) {
    tunePlaying_ = playing;
    timeline_.tune(now, playing, tuneName_);
    say(now, "the tune " + tuneName_ + (playing ? " starts" : " ends"), playing);
  }
  std::vector<ChannelState> channels = session_.channels();
  std::vector<ChannelEvent> events = timeline_.sample(now, channels, cause);
  for (const ChannelEvent &e : events) {
    timeline_.set_label(e.sound, session_.label(e.sound));
    say(now,
        session_.label(e.sound) + " " + event_verb(e.kind) + " on channel " +
            std::to_string(e.channel),
        e.kind == EventKind::Start);
  }
  return !events.empty();
}

// Output frames until the first playing, non-looping voice runs out of data, judged from its
// position, its sample's length and its rate; the resampler may round a frame either way.
uint64_t ScriptRunner::frames_to_next_end(uint32_t outputRate) const {
  uint64_t nearest = UINT64_MAX;
  const SoundRecord *idle = SoundDbgInfo(std::max(session_.bank_number(), 0))->idleRecord;
  for (int c = 0; c < session_.channel_count(); ++c) {
    const Channel *channel = KSFX_GetChannel(static_cast<uint32_t>(c));
    if (!channel || !channel->current || channel->current == idle) continue;
    const SoundRecord *r = channel->current;
    const SampleRecord *s = r->sample;
    int64_t rate = r->rate == -1 || !s ? (s ? s->rate : 0) : r->rate;
    if (!s || (r->flags & KSFX_LOOP) || rate <= 0) continue;
    uint32_t frameBytes = ((s->format & 1) ? 2u : 1u) * ((s->format & 2) ? 2u : 1u);
    uint32_t position = AIL_sample_position(channel->handle);
    uint64_t left = s->length > position ? (s->length - position) / frameBytes : 0;
    nearest = std::min(nearest, (left * outputRate + static_cast<uint64_t>(rate) - 1) /
                                    static_cast<uint64_t>(rate));
  }
  return nearest;
}

void ScriptRunner::warn_cut_off(double time) {
  const ScriptCommand &last = script_.commands.back();
  std::string text = "stopped at " + seconds(time) + ", " +
                     std::to_string(static_cast<int>(kTailLimit)) +
                     " s after the last command, with sounds still playing: add an 'end' line";
  say(time, text, false);
  warnings_.push_back({last.line, text});
}

double ScriptRunner::render(WavWriter &wav, Progress *progress) {
  uint32_t rate = AIL_output_rate();
  if (rate == 0) throw ToolError("the audio library reports no output rate");
  auto frame_of = [rate](double t) { return static_cast<uint64_t>(std::llround(t * rate)); };
  auto time_of = [rate](uint64_t f) { return static_cast<double>(f) / rate; };
  const uint64_t block = rate / kBlockDivisor;
  const uint64_t stopFrame = frame_of(script_.end.value_or(last_time() + kTailLimit));
  uint64_t frame = 0, singleSteps = 0;
  auto done = [&] {
    if (ended_ || frame >= stopFrame) return true;
    return next_ >= script_.commands.size() && !session_.busy();
  };
  // A command is due once the frame it rounds to is reached.
  auto due_by = [&](uint64_t f) { return (static_cast<double>(f) + 0.5) / rate; };
  std::vector<float> buffer(block * 2);
  look(0, EndCause::Ran);
  run_due(due_by(0), 0);
  while (!done()) {
    uint64_t target = std::min(frame + block, stopFrame);
    if (next_ < script_.commands.size())
      target = std::min(target, std::max(frame + 1, frame_of(script_.commands[next_].time)));
    // Near a voice's end the render goes frame by frame, so the end is seen on its frame; a
    // voice that outlasts its estimate is left to the blocks after a bounded number of steps.
    uint64_t toEnd = frames_to_next_end(rate);
    if (toEnd > kEndWindow) {
      target = std::min(target, frame + std::min(toEnd - kEndWindow, block));
      singleSteps = 0;
    } else if (singleSteps++ < kMaxSingleSteps) {
      target = frame + 1;
    }
    uint32_t frames = static_cast<uint32_t>(target - frame);
    if (AIL_render_offline(buffer.data(), frames) != frames)
      throw ToolError("the audio library is not rendering offline");
    wav.write(std::span<const float>(buffer.data(), frames * 2u));
    frame = target;
    if (look(time_of(frame), EndCause::Ran)) singleSteps = 0;
    run_due(due_by(frame), time_of(frame));
    if (progress) progress->update(time_of(frame));
  }
  if (!ended_ && next_ >= script_.commands.size() && session_.busy()) warn_cut_off(time_of(frame));
  double seconds = time_of(frame);
  if (!ended_) seconds += render_tail(wav);
  flush_output_delay(wav);
  timeline_.finish(seconds);
  return seconds;
}

void ScriptRunner::run_live() {
  auto start = std::chrono::steady_clock::now();
  auto elapsed = [start] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  look(0, EndCause::Ran);
  run_due(0, 0);
  while (!interrupted() && !finished(elapsed())) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    SoundServe();
    double now = elapsed();
    look(now, EndCause::Ran);
    run_due(now, now);
  }
  if (!ended_ && !interrupted() && session_.busy()) warn_cut_off(elapsed());
  timeline_.finish(elapsed());
}

} // namespace ksfx
