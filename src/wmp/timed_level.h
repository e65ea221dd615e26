#pragma once
// The player's audio frame. The layout is the player's own (its SDK header),
// so it must match byte for byte in every build: the host hands us a pointer to it.

#include <cstddef>

constexpr int SA_BUFFER_SIZE = 1024;

// The frequency of spectrum cell b: the first cell is 20 Hz, and 1024 cells
// further on would be 22050 Hz.
constexpr double BinToHertz(double bin) { return 20.0 + bin * 21.513671875; }

struct TimedLevel {
    unsigned char frequency[2][SA_BUFFER_SIZE]; // [0] left (or mono), [1] right; 0..255
    unsigned char waveform[2][SA_BUFFER_SIZE];  // 0..255, 128 is silence
    int state;                                  // 0 stop, 1 pause, 2 play
    long long timeStamp;                        // 100-ns units
};

static_assert(offsetof(TimedLevel, waveform) == 2048, "waveform follows the spectrum");
static_assert(offsetof(TimedLevel, state) == 4096, "state follows the waveform");
static_assert(offsetof(TimedLevel, timeStamp) == 4104, "timeStamp is 8-byte aligned");
static_assert(sizeof(TimedLevel) == 4112, "TimedLevel size must match the player's");
