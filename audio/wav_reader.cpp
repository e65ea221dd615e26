#include "audio_clip.h"
#include "sample_format.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;

uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

WavReadResult Fail(const char* why) {
    WavReadResult r;
    r.error = why;
    return r;
}

} // namespace

WavReadResult ReadWav(const uint8_t* data, size_t size) {
    if (size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0) {
        return Fail("not a RIFF/WAVE file");
    }
    uint16_t format = 0, channels = 0, bits = 0, blockAlign = 0;
    uint32_t sampleRate = 0;
    uint32_t channelMask = 0;
    bool haveFormat = false;
    const uint8_t* samples = nullptr;
    size_t sampleBytes = 0;

    size_t pos = 12;
    while (pos + 8 <= size) {
        const uint8_t* chunk = data + pos;
        const uint32_t chunkSize = Le32(chunk + 4);
        const size_t bodyStart = pos + 8;
        const size_t available = size - bodyStart;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (chunkSize < 16) {
                return Fail("format chunk too small");
            }
            if (chunkSize > available) {
                return Fail("format chunk runs past the end of the file");
            }
            const uint8_t* f = chunk + 8;
            format = Le16(f);
            channels = Le16(f + 2);
            sampleRate = Le32(f + 4);
            blockAlign = Le16(f + 12);
            bits = Le16(f + 14);
            if (format == kFormatExtensible) {
                if (chunkSize < 40) {
                    return Fail("extensible format chunk too small");
                }
                channelMask = Le32(f + 20);
                format = Le16(f + 24); // the sub-format GUID starts with the format tag
            }
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat) {
                return Fail("data chunk before the format chunk");
            }
            samples = chunk + 8;
            // A truncated file keeps whole frames that are there; the size a
            // streaming writer leaves (0 or 0xFFFFFFFF) means "to the end".
            sampleBytes = chunkSize > available || chunkSize == 0 ? available : chunkSize;
            break;
        }
        // 64 bits: a chunk size near 4 GiB must not wrap to a small step.
        const uint64_t advance = uint64_t{8} + chunkSize + (chunkSize & 1);
        if (advance > size - pos) {
            return Fail("truncated chunk before the audio data");
        }
        pos += advance;
    }
    if (!haveFormat) {
        return Fail("no format chunk");
    }
    SampleLayout layout;
    layout.type = format == kFormatPcm     ? SampleType::Pcm
                  : format == kFormatFloat ? SampleType::Float
                                           : SampleType::Other;
    layout.bits = bits;
    layout.channels = channels;
    layout.sampleRate = sampleRate <= 384000 ? static_cast<int>(sampleRate) : 0;
    layout.channelMask = channelMask;
    if (const char* problem = LayoutProblem(layout)) {
        return Fail(problem);
    }
    const size_t bytesPerSample = bits / 8;
    if (blockAlign != bytesPerSample * channels) {
        return Fail("inconsistent block size in the format chunk");
    }
    if (samples == nullptr) {
        return Fail("no audio data");
    }
    const size_t frames = sampleBytes / blockAlign;
    if (frames == 0) {
        return Fail("no complete audio frame");
    }

    WavReadResult r;
    r.ok = true;
    r.clip.sampleRate = static_cast<int>(sampleRate);
    r.clip.channels = channels >= 2 ? 2 : 1;
    r.clip.left.resize(frames);
    r.clip.right.resize(frames);
    StereoConverter(layout).Convert(samples, frames, r.clip.left.data(), r.clip.right.data());
    return r;
}

WavReadResult ReadWavFile(const char* path) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path, "rb"), &std::fclose);
    if (!file) {
        return Fail("cannot open the file");
    }
    // The whole file and its float samples must fit in a 32-bit process too.
    constexpr size_t kMaxBytes = size_t{256} << 20;
    try {
        std::vector<uint8_t> bytes;
        uint8_t buffer[65536];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
            if (bytes.size() + n > kMaxBytes) {
                return Fail("file too large (256 MiB at most)");
            }
            bytes.insert(bytes.end(), buffer, buffer + n);
        }
        return ReadWav(bytes.data(), bytes.size());
    } catch (const std::bad_alloc&) {
        return Fail("not enough memory for the file");
    }
}
