#include "sample_format.h"

#include <cstdio>
#include <cstring>

namespace {

// Speaker positions in channel-mask bit order, and where each one goes.
enum class Side { Left, Right, Both };
constexpr Side kPositions[] = {
    Side::Left, Side::Right,              // front left, front right
    Side::Both, Side::Both,               // front centre, low frequency
    Side::Left, Side::Right,              // back left, back right
    Side::Left, Side::Right,              // front left and right of centre
    Side::Both,                           // back centre
    Side::Left, Side::Right,              // side left, side right
    Side::Both,                           // top centre
    Side::Left, Side::Both,  Side::Right, // top front left, centre, right
    Side::Left, Side::Both,  Side::Right, // top back left, centre, right
};
constexpr int kPositionCount = sizeof kPositions / sizeof kPositions[0];
constexpr float kMinus3Db = 0.70710678f;

uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

float Decode(const uint8_t* p, SampleType type, int bits) {
    if (type == SampleType::Float) {
        if (bits == 32) {
            float f;
            const uint32_t u = Le32(p);
            std::memcpy(&f, &u, 4);
            return f;
        }
        double d;
        const uint64_t u = Le32(p) | (static_cast<uint64_t>(Le32(p + 4)) << 32);
        std::memcpy(&d, &u, 8);
        return static_cast<float>(d);
    }
    switch (bits) {
    case 8:
        return (static_cast<int>(p[0]) - 128) / 128.0f;
    case 16:
        return static_cast<int16_t>(p[0] | (p[1] << 8)) / 32768.0f;
    case 24: {
        int32_t v = p[0] | (p[1] << 8) | (p[2] << 16);
        if (v & 0x800000) {
            v -= 0x1000000;
        }
        return v / 8388608.0f;
    }
    default: // 32; fewer valid bits sit at the top, so this reads them too
        return static_cast<float>(static_cast<int32_t>(Le32(p)) / 2147483648.0);
    }
}

} // namespace

const char* LayoutProblem(const SampleLayout& layout) {
    if (layout.channels <= 0) {
        return "zero channels";
    }
    if (layout.sampleRate < 1000 || layout.sampleRate > 384000) {
        return "unsupported sample rate";
    }
    const int b = layout.bits;
    const bool pcm = layout.type == SampleType::Pcm && (b == 8 || b == 16 || b == 24 || b == 32);
    const bool flt = layout.type == SampleType::Float && (b == 32 || b == 64);
    if (!pcm && !flt) {
        return "unsupported sample format (PCM 8/16/24/32-bit or float only)";
    }
    return nullptr;
}

std::string DescribeLayout(const SampleLayout& layout) {
    const char* type = layout.type == SampleType::Pcm     ? "PCM"
                       : layout.type == SampleType::Float ? "float"
                                                          : "encoded";
    char text[96];
    std::snprintf(text, sizeof text, "%s %d-bit, %d channel%s, %d Hz", type, layout.bits,
                  layout.channels, layout.channels == 1 ? "" : "s", layout.sampleRate);
    return text;
}

StereoConverter::StereoConverter(const SampleLayout& layout)
    : layout_(layout), leftGain_(layout.channels > 0 ? layout.channels : 0),
      rightGain_(leftGain_.size()) {
    const int channels = static_cast<int>(leftGain_.size());
    if (channels <= 2) {
        leftGain_[0] = 1.0f;
        rightGain_[channels - 1] = 1.0f;
        return;
    }
    uint32_t mask = layout.channelMask;
    if (mask == 0) {
        mask = channels >= kPositionCount ? (1u << kPositionCount) - 1 : (1u << channels) - 1;
    }
    // Channel i takes the i-th position set in the mask.
    int channel = 0;
    for (int position = 0; position < kPositionCount && channel < channels; ++position) {
        if (!(mask & (1u << position))) {
            continue;
        }
        const float gain = position < 2 ? 1.0f : kMinus3Db;
        if (kPositions[position] != Side::Right) {
            leftGain_[channel] = gain;
        }
        if (kPositions[position] != Side::Left) {
            rightGain_[channel] = gain;
        }
        ++channel;
    }
}

void StereoConverter::Convert(const uint8_t* data, size_t frames, float* left, float* right) const {
    const size_t bytesPerSample = static_cast<size_t>(layout_.bits / 8);
    const size_t channels = leftGain_.size();
    for (size_t i = 0; i < frames; ++i) {
        float l = 0.0f;
        float r = 0.0f;
        for (size_t c = 0; c < channels; ++c, data += bytesPerSample) {
            // A side a channel doesn't feed must not see it at all: 0 x NaN
            // is NaN.
            const float lg = leftGain_[c];
            const float rg = rightGain_[c];
            if (lg == 0.0f && rg == 0.0f) {
                continue;
            }
            const float s = Decode(data, layout_.type, layout_.bits);
            if (lg != 0.0f) {
                l += lg * s;
            }
            if (rg != 0.0f) {
                r += rg * s;
            }
        }
        left[i] = l;
        right[i] = r;
    }
}
