#pragma once
// Interleaved audio as a WAV file or a capture device lays it out, and its
// conversion to the stand-in's left and right float samples. Files and live
// devices go through this one conversion.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class SampleType { Pcm, Float, Other };

struct SampleLayout {
    SampleType type = SampleType::Pcm;
    int bits = 16; // container size: PCM 8 (unsigned), 16, 24, 32; float 32, 64
    int channels = 2;
    int sampleRate = 44100;
    uint32_t channelMask = 0; // speaker positions; 0 means the usual order

    size_t BytesPerFrame() const { return static_cast<size_t>(bits / 8) * channels; }
};

// Why audio in this layout can't be converted, or null when it can.
const char* LayoutProblem(const SampleLayout& layout);

// "float 32-bit, 6 channels, 48000 Hz", for messages.
std::string DescribeLayout(const SampleLayout& layout);

// Two channels feed left and right and one feeds both. More are mixed down
// by speaker position: the front pair at full level, everything else at
// -3 dB into its side (centre, LFE and other middle positions into both);
// channels without a position are left out. Sums beyond full scale are
// clipped later, by the frame builder.
class StereoConverter {
public:
    // `layout` must be one that LayoutProblem accepts.
    explicit StereoConverter(const SampleLayout& layout);

    const SampleLayout& Layout() const { return layout_; }

    // Converts `frames` interleaved frames into left[0..frames) and
    // right[0..frames). No allocation.
    void Convert(const uint8_t* data, size_t frames, float* left, float* right) const;

private:
    SampleLayout layout_;
    std::vector<float> leftGain_;
    std::vector<float> rightGain_;
};
