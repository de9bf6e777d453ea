// The mixer thread of a real-time output: renders ahead into the frame ring through the shared
// render path, holding the library lock for one block at a time. Owned by the driver: started
// when it opens, stopped and joined when it closes.
#pragma once

#include "audio/ring.h"

namespace wail {

struct MixerThread;

// Starts rendering into `ring`; null (with the last error set) when no thread can start.
// `opener` is an address in the code that opened the driver, whose module the thread keeps
// loaded while it runs (module_hold.h).
MixerThread *start_mixer_thread(FrameRing &ring, const void *opener);

// Stops the thread; after it returns the thread renders nothing more and no longer touches the
// ring. Called on the mixer thread itself (a callback that closes the driver), the thread ends
// as soon as its block is done and is joined by the next start or at exit.
void stop_mixer_thread(MixerThread *thread);

// Joins a thread that stopped itself, unless called on that very thread.
void reap_mixer_thread();

} // namespace wail
