// Delivery of end-of-sample callbacks for voices that ran out by themselves: the service
// thread in real time, the host's thread inside AIL_render_offline in offline mode.
#pragma once

namespace wail {

// Starts the service thread; it delivers reported ends until stop_service().
void start_service();
// Stops and joins the service thread; reports not yet delivered are dropped.
void stop_service();
// Tells the service thread that reports wait in the ring. Lock-free; called by the render.
void wake_service() noexcept;

// Drains the ring on the caller's thread and delivers each end, holding the library lock. An
// end is delivered only if its voice is still at that start and still playing as the host sees
// it: the status becomes SMP_DONE, then the callback runs.
void deliver_reported_ends();

} // namespace wail
