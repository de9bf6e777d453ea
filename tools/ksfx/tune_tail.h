// The end of a render to a file: a tune's notes ring on after its last event, so the render goes
// on while the synthesiser still sounds; then the output's delay is rendered out, so the file,
// which left out as many frames at its start, ends with the last frame of the calls.
#pragma once

namespace ksfx {

class WavWriter;

// Renders offline into `wav` until the synthesiser is silent (at most 5 s; a tail still sounding
// then is stopped with its fade). Returns the seconds rendered.
double render_tail(WavWriter &wav);

// Renders the audio library's output delay (AIL_output_delay frames) into `wav`: the frames a
// WavWriter that dropped that many at its start still owes.
void flush_output_delay(WavWriter &wav);

} // namespace ksfx
