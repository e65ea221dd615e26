#include "audio_clip.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr double kPi = 3.14159265358979323846;

double NoteHz(int midi) {
    return 440.0 * std::pow(2.0, (midi - 69) / 12.0);
}

// A small deterministic noise source, so every run plays the same clip.
struct Noise {
    uint32_t state = 0x12345678;
    double Next() {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) / 8388608.0 - 1.0;
    }
};

} // namespace

AudioClip SynthesizeDemoClip(int sampleRate, double seconds, double bpm) {
    AudioClip clip;
    clip.sampleRate = sampleRate;
    clip.channels = 2;
    const size_t frames = static_cast<size_t>(seconds * sampleRate);
    clip.left.assign(frames, 0.0f);
    clip.right.assign(frames, 0.0f);

    const double beat = 60.0 / bpm;
    // A minor progression, one chord per bar of four beats: Am, F, C, G.
    const int chordRoots[] = {57, 53, 60, 55};
    const int chordThirds[] = {3, 4, 4, 4};
    const int bassLine[] = {45, 45, 52, 45, 41, 41, 48, 41, 48, 48, 55, 48, 43, 43, 50, 43};
    Noise noise;
    double hatState = 0.0;

    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        const double beatPos = t / beat;
        const double inBeat = (beatPos - std::floor(beatPos)) * beat; // seconds since the beat
        const int beatIndex = static_cast<int>(beatPos);
        const int bar = (beatIndex / 4) % 4;

        // Bass drum on every beat: a falling sine with a fast decay.
        const double kickHz = 50.0 + 110.0 * std::exp(-inBeat * 30.0);
        const double kick = std::sin(2.0 * kPi * kickHz * inBeat) * std::exp(-inBeat * 9.0);

        // Bass line in eighth notes.
        const int eighth = static_cast<int>(beatPos * 2.0);
        const double inEighth = (beatPos * 2.0 - std::floor(beatPos * 2.0)) * beat / 2.0;
        const double bassHz = NoteHz(bassLine[eighth % 16]);
        const double bassPhase = std::fmod(t * bassHz, 1.0);
        const double bass = (2.0 * bassPhase - 1.0) * 0.6 * std::exp(-inEighth * 6.0);

        // Chords: root, third and fifth, held for the bar.
        const int root = chordRoots[bar];
        double chord = 0.0;
        for (int interval : {0, chordThirds[bar] == 3 ? 3 : 4, 7}) {
            chord += std::sin(2.0 * kPi * NoteHz(root + interval + 12) * t);
        }
        chord *= 0.12;

        // Hi-hats on the off-beats: high-passed noise with a short decay.
        const double inOffbeat = inEighth;
        const double n = noise.Next();
        const double highPassed = n - hatState;
        hatState = n;
        const double hat = eighth % 2 == 1 ? highPassed * 0.25 * std::exp(-inOffbeat * 40.0) : 0.0;

        const double mixLeft = 0.55 * kick + 0.35 * bass + chord + hat * 0.8;
        const double mixRight = 0.55 * kick + 0.30 * bass + chord * 0.8 + hat;
        clip.left[i] = static_cast<float>(std::clamp(mixLeft, -1.0, 1.0));
        clip.right[i] = static_cast<float>(std::clamp(mixRight, -1.0, 1.0));
    }
    return clip;
}
