// The PC speaker stand-in: a tone of a given pitch and length.
#pragma once
#include <functional>

// Plays a tone; by default through the desktop's audio when a player is
// available, else the terminal bell. Returns at once (the tone plays on its own).
void PlayTone(int frequencyHz, int durationMs);

// Tests record tones instead of playing them.
using ToneSink = std::function<void(int frequencyHz, int durationMs)>;
void SetToneSink(ToneSink sink);
