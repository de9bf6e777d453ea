// The resampling mode: band-limited (sinc) by default, linear on request, through
// AIL_set_resampling or KSND_RESAMPLER=linear|sinc read when the library loads.
#pragma once

#include "audio/kernels/mix_kernel.h"

namespace wail {

// The mode in force; voices take it when their sample is set up. Any thread.
Resampler resampling_mode() noexcept;

// The mode a KSND_RESAMPLER value names: "linear" or "sinc"; unset or empty keeps sinc; anything
// else keeps sinc and says so in one line on standard error.
Resampler resampler_from_environment(const char *value) noexcept;

} // namespace wail
