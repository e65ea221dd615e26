#pragma once
// Turns audio into the player's frames: per audio channel a 1024-bin
// spectrum (bin b near 20 + b x 21.51 Hz, 0..255 on a decibel scale) and
// 1024 waveform samples (0..255, 128 silence).

#include "wmp/timed_level.h"
#include "audio_clip.h"

#include <complex>
#include <vector>

class FrameBuilder {
public:
    static constexpr int kFftSize = 2048;
    // The spectrum covers this many decibels below full scale.
    static constexpr double kRangeDb = 72.0;

    FrameBuilder();

    // The frame whose waveform starts at sample `position` (and whose
    // spectrum is taken over the 2048 samples from there); samples past the
    // clip's end count as silence. No allocation.
    void Build(const AudioClip& clip, size_t position, TimedLevel& frame);

    // Spectrum value of an FFT magnitude, and the frequency shown by a bin.
    static unsigned char SpectrumByte(double magnitude);
    static double BinFrequency(int bin) { return BinToHertz(bin); }

private:
    void Spectrum(const std::vector<float>& samples, size_t position, int sampleRate,
                  unsigned char (&out)[SA_BUFFER_SIZE]);

    std::vector<double> window_;
    std::vector<std::complex<double>> twiddle_;
    std::vector<std::complex<double>> buffer_;
    std::vector<double> magnitude_;
};
