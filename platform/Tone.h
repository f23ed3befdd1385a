// The PC speaker stand-in: a tone of a given pitch and length.
#pragma once
#include <functional>
#include <string>
#include <vector>

// Plays a tone; by default through the desktop's audio when a player is
// available, else the terminal bell. Returns at once (the tone plays on its own).
void PlayTone(int frequencyHz, int durationMs);

// Tests record tones instead of playing them.
using ToneSink = std::function<void(int frequencyHz, int durationMs)>;
void SetToneSink(ToneSink sink);

// The player program and its arguments: raw 8 kHz unsigned 8-bit samples on
// its standard input.
const std::vector<std::string>& TonePlayerCommand();
constexpr int ToneSampleRate = 8000;
