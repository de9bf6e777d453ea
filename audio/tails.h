// Fade tails: when a playing voice is stopped, ended or moved, its next few milliseconds are
// rendered at once, fading to silence, into a buffer of a pool, and the render adds that
// buffer over the frames that follow. The voice's handle and data are free the moment the
// stop returns. The pool is allocated when the driver opens; nothing allocates while playing.
#pragma once

#include "audio/voices.h"

#include <cstdint>

namespace wail {

// Length of a fade (2.5 ms at 48000 Hz).
inline constexpr uint32_t kFadeFrames = 120;

struct TailPool;

// A pool of `count` tails, or null when memory runs out (stops then cut without a fade).
TailPool *create_tail_pool(uint32_t count);
void destroy_tail_pool(TailPool *pool);

// Renders the fade of `voice` from its current position and gains into a free tail; the voice
// itself does not move. Without a free tail, the one nearest its end is taken over. The voice
// is playing; its data is read only during this call.
void start_tail(TailPool &pool, const MixState &voice) noexcept;

// Adds the next `frames` frames of every tail into `mix` and frees the tails that are done.
void mix_tails(TailPool &pool, float *mix, uint32_t frames) noexcept;

} // namespace wail
