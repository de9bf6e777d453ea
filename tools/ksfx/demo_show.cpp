// The demo show: every capability of the library in turn, each announced by a note, on three
// channels so that priorities and suspension come into play.
#include "demo_show.h"

#include "midi_writer.h"
#include "wav_file.h"
#include "wav_synth.h"

#include <cmath>
#include <cstdio>
#include <sstream>

namespace ksfx {
namespace {

constexpr const char *kManifest =
    R"(# The demo bank: nine synthesised samples and the sounds made from them.
[samples]
voice = "voice.wav"
blaster = "blaster.wav"
laser = "laser.wav"
door = "door.wav"
step1 = "step1.wav"
step2 = "step2.wav"
step3 = "step3.wav"
engine = "engine.wav"
wind = "wind.wav"

[[sound]]
name = "voice"        # a line of dialogue: resumes where it was cut off
sample = "voice"
priority = 5
resume = true

[[sound]]
name = "blaster"
sample = "blaster"
priority = 20

[[sound]]
name = "door"
sample = "door"
priority = 5

[[sound]]
name = "engine"       # placed around the listener, so its volume is the volume up close
sample = "engine"
priority = 6
loop = true
volume = 120

[[sound]]
name = "wind"
sample = "wind"
priority = 6
loop = true
volume = 45

[[sound]]
name = "laser"
sample = "laser"
priority = 8
volume = 90

[[sound]]
name = "step1"
sample = "step1"
priority = 4

[[sound]]
name = "step2"
sample = "step2"
priority = 4

[[sound]]
name = "step3"
sample = "step3"
priority = 4

[[sound]]
name = "steps"        # one after another
group = ["step1", "step2", "step3", "step2", "step1"]
priority = 4

[[sound]]
name = "footsteps"    # a random step each time, until stopped
group = ["step1", "step2", "step3"]
random = true
priority = 4
)";

std::string seconds(double t) {
  char text[16];
  std::snprintf(text, sizeof text, "%.2f", t);
  return text;
}

// The engine goes once round the listener, starting straight ahead, 24 stops in 6 seconds;
// it swings out to 320 units behind the listener, so its volume falls and rises again.
void circle_engine(std::ostringstream &s, double start) {
  constexpr double kPi = 3.14159265358979323846;
  for (int i = 1; i <= 24; ++i) {
    double angle = 2 * kPi * i / 24, radius = 160 + 80 * (1 - std::cos(angle));
    long x = std::lround(radius * std::sin(angle)), y = std::lround(-radius * std::cos(angle));
    s << seconds(start + 0.25 * i) << " place engine " << x << " " << y << "\n";
  }
}

// The listener turns once on the spot, 16 steps in 4 seconds.
void turn_listener(std::ostringstream &s, double start) {
  for (int i = 1; i <= 16; ++i)
    s << seconds(start + 0.25 * i) << " ear 0 0 " << (i * 32) % 512 << "\n";
}

} // namespace

std::vector<DemoFile> demo_files() {
  std::vector<DemoFile> files;
  for (const SynthSample &sample : synth_demo_samples())
    files.push_back({sample.name + ".wav", encode_wav16(sample.pcm, 1, kSynthRate)});
  files.push_back({"demo.mid", demo_tune()});
  std::string manifest = kManifest;
  files.push_back({"demo.toml", std::vector<uint8_t>(manifest.begin(), manifest.end())});
  return files;
}

std::string demo_script() {
  std::ostringstream s;
  s << "# The KSND32 demo show.\n"
       "0 channels 3\n"
       "0 envelope 8\n"
       "0 ear 0 0 0\n"
       "0 note Three channels: a voice line (priority 5, resumable), an engine ahead and wind "
       "(priority 6, looping).\n"
       "0.2 play voice\n"
       "0.2 place engine 0 -160\n"
       "0.2 play wind\n"
       "1.5 note A blaster (priority 20) takes the voice's channel: the voice is suspended.\n"
       "1.5 play blaster\n"
       "2.4 note A door of equal priority (5) is refused: no channel holds less.\n"
       "2.4 play door\n"
       "4.6 note The engine circles the listener: volume follows distance, pan the bearing.\n"
       "4.6 stop wind\n";
  circle_engine(s, 4.6);
  s << "10.8 note The listener turns on the spot: the engine swings from ear to ear.\n";
  turn_listener(s, 10.8);
  s << "15.0 stop engine\n"
       "15.2 note The channels are free now: the door plays.\n"
       "15.2 play door\n"
       "16.5 note A sequential group: five footsteps, one after another.\n"
       "16.5 play steps\n"
       "18.0 note A random group: footsteps picked at random until stopped.\n"
       "18.0 play footsteps\n"
       "20.0 stop footsteps\n"
       "20.3 note Duplicates: three copies of one laser overlap.\n"
       "20.3 play laser\n"
       "20.45 dup laser\n"
       "20.6 dup laser\n"
       "21.3 note A tune written for the demo; at 25.3 s its tempo goes up to 150%.\n"
       "21.3 tune demo.mid\n"
       "25.3 tempo 150\n";
  return s.str();
}

} // namespace ksfx
