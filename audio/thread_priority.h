// Raising the calling thread above ordinary work, for the threads that keep the device fed: a
// busy machine must not delay a block past the frames the device still holds.
#pragma once

namespace wail {

// Asks for real-time scheduling (the lowest real-time priority), else a higher ordinary one;
// keeps the thread as it was when the system refuses both. Returns whether anything was raised.
bool raise_thread_priority() noexcept;

} // namespace wail
