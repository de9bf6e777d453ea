// The one MIDI tune: a MIDI driver and a sequence handle held for the life of the library, and
// the KTUNE_ operations on it, each at most one audio-library call behind two flags.
//
// Choice: when KTUNE_Init finds no sequence handle, the driver it has just opened is closed
// again, so no MIDI output is left open by a failed start-up.
//
// KTUNE_InitTune passes the data's size when the data is a block whose size the library knows
// (a KSFX_FileRead block), so the audio library never parses past it; for other memory the
// parse is bounded by the data's own chunk lengths. Every export reports an exception from the
// audio library (running out of memory) as its failure result.
#include "exports/boundary.h"
#include "ksnd32.h"
#include "music/trace.h"
#include "platform/memory.h"

#include <algorithm>
#include <cstddef>

namespace {

// The music module's state; host thread only (the KTUNE_ functions are called one at a time).
struct MusicState {
  int32_t bMusicInitialised; // MIDI driver open and sequence handle allocated
  int32_t bTuneInitialised;  // data bound to the sequence handle
  HMDIDRIVER hAIlMidiDriver;
  HSEQUENCE hAIlSequence;
};
MusicState g_music = {0, 0, nullptr, nullptr};

bool tune_ready() { return g_music.bMusicInitialised && g_music.bTuneInitialised; }

// Binds the data with one audio-library call, bounded by the data's block when it is one of ours.
int32_t init_sequence(const void *data, int32_t number) {
  std::size_t size = 0;
  if (!platform::known_block_size(data, &size))
    return AIL_init_sequence(g_music.hAIlSequence, data, number);
  uint32_t bytes = (uint32_t)std::min<std::size_t>(size, UINT32_MAX);
  return AIL_init_sequence_bounded(g_music.hAIlSequence, data, bytes, number);
}

} // namespace

using music::TuneDebugMessage;
using music::TuneDebugValue;

extern "C" {

int32_t KTUNE_Init(void) {
  return exports::guarded(0, [] {
    if (g_music.bMusicInitialised) {
      TuneDebugMessage("Init called when already initialised.");
      return 1;
    }
    uint32_t devices = midiOutGetNumDevs();
    TuneDebugValue((int32_t)devices, "Number of MIDI devices");
    if (devices == 0) {
      g_music.hAIlMidiDriver = nullptr;
      g_music.hAIlSequence = nullptr;
      TuneDebugMessage("No MIDI devices!");
      return 0;
    }
    if (AIL_midiOutOpen(&g_music.hAIlMidiDriver, nullptr, -1) != 0 &&
        AIL_midiOutOpen(&g_music.hAIlMidiDriver, nullptr, 0) != 0) {
      g_music.hAIlMidiDriver = nullptr;
      g_music.hAIlSequence = nullptr;
      TuneDebugMessage("No MIDI devices at all!");
      return 0;
    }
    g_music.hAIlSequence = AIL_allocate_sequence_handle(g_music.hAIlMidiDriver);
    if (!g_music.hAIlSequence) {
      TuneDebugMessage("No sequence handles!");
      AIL_midiOutClose(g_music.hAIlMidiDriver);
      return 0;
    }
    TuneDebugValue((int32_t)(intptr_t)g_music.hAIlSequence, "hAIlSequence");
    g_music.bMusicInitialised = 1;
    g_music.bTuneInitialised = 0;
    return 1;
  });
}

int32_t KTUNE_ShutDown(void) {
  return exports::guarded(1, [] {
    if (!g_music.bMusicInitialised) return 1;
    if (g_music.bTuneInitialised && KTUNE_CurrentlyPlaying() == 1) KTUNE_StopTune();
    AIL_midiOutClose(g_music.hAIlMidiDriver);
    g_music.bMusicInitialised = 0;
    g_music.bTuneInitialised = 0;
    return 1;
  });
}

int32_t KTUNE_InitTune(const void *data, int32_t sequence) {
  return exports::guarded(0, [=] {
    if (!g_music.bMusicInitialised) {
      TuneDebugMessage("System not initialised for InitTune!");
      return 0;
    }
    if (KTUNE_CurrentlyPlaying() == 1) KTUNE_StopTune();
    if (init_sequence(data, sequence) == 0) {
      TuneDebugMessage("Sequence is bogus!");
      return 0;
    }
    g_music.bTuneInitialised = 1;
    return 1;
  });
}

int32_t KTUNE_StartTune(void) {
  return exports::guarded(0, [] {
    if (!g_music.bMusicInitialised) {
      TuneDebugMessage("System not initialised for StartTune!");
      return 0;
    }
    if (!g_music.bTuneInitialised) {
      TuneDebugMessage("Tried to play a tune, when none has been initialised!");
      return 0;
    }
    AIL_start_sequence(g_music.hAIlSequence);
    return 1;
  });
}

int32_t KTUNE_StopTune(void) {
  return exports::guarded(0, [] {
    if (!g_music.bMusicInitialised) return 1;
    if (!g_music.bTuneInitialised) {
      TuneDebugMessage("No tune initialised to stop!");
      return 0;
    }
    AIL_stop_sequence(g_music.hAIlSequence);
    return 1;
  });
}

int32_t KTUNE_ResumeTune(void) {
  return exports::guarded(0, [] {
    if (!g_music.bMusicInitialised) return 0;
    if (!g_music.bTuneInitialised) {
      TuneDebugMessage("Can't resume a tune if none has been initialised!");
      return 0;
    }
    AIL_resume_sequence(g_music.hAIlSequence);
    return 1;
  });
}

int32_t KTUNE_SetRepeats(int32_t count) {
  return exports::guarded(0, [=] {
    if (!tune_ready()) return 0;
    AIL_set_sequence_loop_count(g_music.hAIlSequence, count);
    return 1;
  });
}

int32_t KTUNE_CurrentlyPlaying(void) {
  return exports::guarded(0, [] {
    if (!tune_ready()) return 0;
    return AIL_sequence_status(g_music.hAIlSequence) == SEQ_PLAYING ? 1 : 0;
  });
}

int32_t KTUNE_SetVolume(int32_t volume) {
  return exports::guarded(0, [=] {
    if (!tune_ready()) return 0;
    AIL_set_sequence_volume(g_music.hAIlSequence, volume, 0);
    return 1;
  });
}

int32_t KTUNE_SetTempo(int32_t tempo) {
  return exports::guarded(0, [=] {
    if (!tune_ready()) return 0;
    AIL_set_sequence_tempo(g_music.hAIlSequence, tempo, 0);
    return 1;
  });
}

int32_t KTUNE_GetTempo(void) {
  return exports::guarded(0, [] {
    if (!tune_ready()) return 0;
    return AIL_sequence_tempo(g_music.hAIlSequence);
  });
}

} // extern "C"
