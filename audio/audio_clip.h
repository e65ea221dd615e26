#pragma once
// Audio as the stand-in player holds it: float samples in -1..1 per channel.

#include <cstdint>
#include <string>
#include <vector>

struct AudioClip {
    int sampleRate = 0;
    int channels = 0; // as stored: 1 (mono) or 2; a mono clip plays on both sides
    std::vector<float> left;
    std::vector<float> right; // a copy of left for mono clips

    size_t Frames() const { return left.size(); }
};

// A WAV file's audio, or why it can't be read.
struct WavReadResult {
    bool ok = false;
    std::string error;
    AudioClip clip;
};

// PCM 8, 16, 24 and 32 bit, and 32/64-bit float, plain or in a
// WAVE_FORMAT_EXTENSIBLE header; more than two channels are mixed down to two
// as a live device's are (sample_format.h).
WavReadResult ReadWav(const uint8_t* data, size_t size);
WavReadResult ReadWavFile(const char* path);

// A few seconds of something music-like, made here so the demo needs no
// download: a bass drum on every beat, a bass line, chords and hi-hats.
AudioClip SynthesizeDemoClip(int sampleRate = 44100, double seconds = 8.0, double bpm = 120.0);
