// The end of a render to a file: a tune's notes ring on after its last event, so the render goes
// on while the synthesiser still sounds, then lets the output settle so the file ends in silence.
#pragma once

namespace ksfx {

class WavWriter;

// Renders offline into `wav` until the synthesiser is silent (at most kLongestTail seconds; a
// tail still sounding then is stopped with its fade), then a short silence that carries the
// output's last frames out. Returns the seconds rendered.
double render_tail(WavWriter &wav);

} // namespace ksfx
