#include "frame_builder.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

// In-place iterative radix-2 FFT of a power-of-two length.
void Fft(std::vector<std::complex<double>>& a, const std::vector<std::complex<double>>& twiddle) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) {
            j ^= bit;
        }
        j ^= bit;
        if (i < j) {
            std::swap(a[i], a[j]);
        }
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const size_t step = n / len;
        for (size_t i = 0; i < n; i += len) {
            for (size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> w = twiddle[k * step];
                const std::complex<double> u = a[i + k];
                const std::complex<double> v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
        }
    }
}

float SampleAt(const std::vector<float>& s, size_t i) {
    if (i >= s.size()) {
        return 0.0f;
    }
    const float v = s[i];
    return std::isfinite(v) ? std::clamp(v, -1.0f, 1.0f) : 0.0f;
}

} // namespace

FrameBuilder::FrameBuilder()
    : window_(kFftSize), twiddle_(kFftSize / 2), buffer_(kFftSize), magnitude_(kFftSize / 2 + 1) {
    for (int i = 0; i < kFftSize; ++i) {
        window_[i] = 0.5 - 0.5 * std::cos(2.0 * kPi * i / kFftSize); // Hann
    }
    for (int k = 0; k < kFftSize / 2; ++k) {
        twiddle_[k] = std::polar(1.0, -2.0 * kPi * k / kFftSize);
    }
}

unsigned char FrameBuilder::SpectrumByte(double magnitude) {
    // A full-scale sine through the Hann window peaks at N/4.
    const double reference = kFftSize / 4.0;
    if (!(magnitude > 0.0)) {
        return 0;
    }
    const double db = 20.0 * std::log10(magnitude / reference);
    const double v = (db + kRangeDb) * 255.0 / kRangeDb;
    return static_cast<unsigned char>(std::clamp(v, 0.0, 255.0));
}

void FrameBuilder::Spectrum(const std::vector<float>& samples, size_t position, int sampleRate,
                            unsigned char (&out)[SA_BUFFER_SIZE]) {
    for (int i = 0; i < kFftSize; ++i) {
        buffer_[i] = {SampleAt(samples, position + i) * window_[i], 0.0};
    }
    Fft(buffer_, twiddle_);
    for (int k = 0; k <= kFftSize / 2; ++k) {
        magnitude_[k] = std::abs(buffer_[k]);
    }
    // Each bin shows the FFT bin nearest to its own frequency.
    const double hzPerFftBin = static_cast<double>(sampleRate) / kFftSize;
    for (int b = 0; b < SA_BUFFER_SIZE; ++b) {
        const long k = std::lround(BinFrequency(b) / hzPerFftBin);
        out[b] = k <= kFftSize / 2 ? SpectrumByte(magnitude_[k]) : 0; // 0 above Nyquist
    }
}

void FrameBuilder::Build(const AudioClip& clip, size_t position, TimedLevel& frame) {
    Spectrum(clip.left, position, clip.sampleRate, frame.frequency[0]);
    Spectrum(clip.right, position, clip.sampleRate, frame.frequency[1]);
    for (int i = 0; i < SA_BUFFER_SIZE; ++i) {
        const auto toByte = [](float s) {
            return static_cast<unsigned char>(std::lround(128.0 + s * 127.0));
        };
        frame.waveform[0][i] = toByte(SampleAt(clip.left, position + i));
        frame.waveform[1][i] = toByte(SampleAt(clip.right, position + i));
    }
    frame.state = 2; // playing
    frame.timeStamp =
        clip.sampleRate > 0 ? static_cast<long long>(position * 10000000.0 / clip.sampleRate) : 0;
}
