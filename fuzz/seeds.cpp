// Writes the seed corpus of every fuzz target into the folder given (the
// checked-in one is fuzz/corpus): WAV files of every format the reader takes,
// the first-run settings, a controller stream the plug-in's pipeline makes,
// and a band drag over the first-run layout.

#include "fuzz_input.h"
#include "frame_check.h"
#include "stored_settings.h"

#include "analysis/analysis.h"
#include "analysis/presets.h"
#include "link/protocol.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

fs::path g_root;

void Save(const std::string& target, const std::string& name, const Bytes& bytes) {
    fs::create_directories(g_root / target);
    std::ofstream(g_root / target / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

void Le(Bytes& b, uint64_t v, int size) {
    for (int i = 0; i < size; ++i) {
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}

void Chunk(Bytes& file, const char* id, const Bytes& body) {
    file.insert(file.end(), id, id + 4);
    Le(file, body.size(), 4);
    file.insert(file.end(), body.begin(), body.end());
    if (body.size() & 1) {
        file.push_back(0); // chunks are word-aligned
    }
}

// Sixteen frames of a sine, laid out as a writer of that format does:
// a plain PCM header, a float header with its fact chunk, or an extensible
// header with the sub-format GUID.
Bytes Wav(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, bool extensible,
          const Bytes& listChunk = {}) {
    constexpr int kFrames = 16;
    const uint16_t blockAlign = static_cast<uint16_t>(channels * bits / 8);
    Bytes fmt;
    Le(fmt, extensible ? 0xFFFE : tag, 2);
    Le(fmt, channels, 2);
    Le(fmt, rate, 4);
    Le(fmt, rate * blockAlign, 4);
    Le(fmt, blockAlign, 2);
    Le(fmt, bits, 2);
    if (extensible) {
        Le(fmt, 22, 2);
        Le(fmt, bits, 2);                       // valid bits
        Le(fmt, channels == 6 ? 0x3F : 0x3, 4); // speaker mask
        Le(fmt, tag, 2);                        // sub-format GUID
        for (uint8_t b : {0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71}) {
            fmt.push_back(b);
        }
    } else if (tag == 3) {
        Le(fmt, 0, 2);
    }
    Bytes samples;
    for (int i = 0; i < kFrames; ++i) {
        for (int ch = 0; ch < channels; ++ch) {
            const double v = 0.8 * std::sin(2 * 3.14159265358979 * i / kFrames + ch);
            if (tag == 3 && bits == 32) {
                const float f = static_cast<float>(v);
                uint32_t u;
                std::memcpy(&u, &f, 4);
                Le(samples, u, 4);
            } else if (tag == 3) {
                uint64_t u;
                std::memcpy(&u, &v, 8);
                Le(samples, u, 8);
            } else if (bits == 8) {
                samples.push_back(static_cast<uint8_t>(128 + std::lround(v * 127)));
            } else {
                Le(samples, static_cast<uint64_t>(std::llround(v * std::ldexp(1.0, bits - 1))),
                   bits / 8);
            }
        }
    }
    Bytes body = {'W', 'A', 'V', 'E'};
    Chunk(body, "fmt ", fmt);
    if (tag == 3 || extensible) {
        Bytes fact;
        Le(fact, kFrames, 4);
        Chunk(body, "fact", fact);
    }
    if (!listChunk.empty()) {
        Chunk(body, "LIST", listChunk);
    }
    Chunk(body, "data", samples);
    Bytes file = {'R', 'I', 'F', 'F'};
    Le(file, body.size(), 4);
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

// A spectrum falling from the low bins and a waveform swinging about 128.
Bytes Audio() {
    Bytes a(4096);
    for (int i = 0; i < 2048; ++i) {
        a[i] = static_cast<uint8_t>(std::max(0, 250 - (i % 1024) / 4));
        a[2048 + i] = static_cast<uint8_t>(128 + std::lround(100 * std::sin(i / 20.0)));
    }
    return a;
}

// Bytes from a fixed generator: spectra and waveforms with many peaks.
Bytes NoisyAudio() {
    Bytes a(4096);
    uint32_t x = 12345;
    for (uint8_t& b : a) {
        x = x * 1103515245 + 12345;
        b = static_cast<uint8_t>(x >> 16);
    }
    return a;
}

constexpr Rect kLayout = {0, 0, 1024, 256};

void SettingsSeeds() {
    MemoryStore store;
    RecordingLink link;
    PluginState state;
    LinkSettings settings;
    ApplyFirstRunDefaults(state, settings, link, store);
    FuzzOutput firstRun;
    WriteStoredSettings(firstRun, store);
    WriteFrameSetup(firstRun, kLayout, true, Audio());
    Save("settings", "first-run", firstRun.bytes);

    // A 20-byte port value with its terminator inside.
    store.Put(kSettingsKeyPath, "Port", ValueString,
              {'C', 'O', 'M', '4', 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15});
    FuzzOutput port;
    WriteStoredSettings(port, store);
    WriteFrameSetup(port, {100, 50, 900, 300}, false, NoisyAudio());
    Save("settings", "port-20-bytes", port.bytes);

    // A network output, with its source id.
    settings.Output = OutputKind::Sacn;
    std::strcpy(settings.OutputAddress, "lights.local");
    settings.Universe = 7;
    settings.StartChannel = 3;
    settings.SourceId = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    SaveSettings(state, settings, store);
    FuzzOutput network;
    WriteStoredSettings(network, store);
    WriteFrameSetup(network, kLayout, true, Audio());
    Save("settings", "sacn-by-name", network.bytes);

    FuzzOutput empty;
    empty.Byte(0);
    WriteFrameSetup(empty, kLayout, true, {});
    Save("settings", "empty-registry", empty.bytes);
}

void StreamSeeds() {
    PluginState state;
    ApplyRecordDefaults(state.Channels);
    ApplyPreset(state.Channels, 16, PresetFamily::FrequencyAndPower);
    const Bytes audio = Audio();
    TimedLevel frame{};
    std::memcpy(&frame, audio.data(), audio.size());
    AnalyzeChannels(frame, state.Channels, state.ChannelLevels);

    // Op codes of the parser target: 0 level, 1 keep-alive, 2 noise, 3 deliver, 4 quiet.
    FuzzOutput out;
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < kChannelCount; ++i) {
            out.Bytes(
                {0, static_cast<uint8_t>(i), static_cast<uint8_t>(state.ChannelLevels[i]), 1});
        }
        out.Bytes({3, 1, 4});
    }
    Save("stream_parser", "first-run-frames", out.bytes);

    // A command that lost its last byte, right before a whole one, then noise.
    FuzzOutput noisy;
    noisy.Bytes({2, 4, 0x00, 0x05, 0x03, 0x10, 0x81, 0, 3, 50, 7, 2, 2, 0x56, 0x00, 0x01, 1, 4});
    Save("stream_parser", "lost-byte", noisy.bytes);
}

void BandEditorSeeds() {
    PluginState state;
    ApplyRecordDefaults(state.Channels);
    ApplyPreset(state.Channels, 16, PresetFamily::FrequencyAndPower);
    FuzzOutput out;
    for (const ChannelConfig& c : state.Channels) {
        WriteChannel(out, c);
    }
    out.Byte(0x0F);
    // Message codes: 0 press, 1 move, 2 release. 73 is where bands 1 and 2 touch.
    const std::vector<std::pair<uint8_t, int16_t>> drag = {
        {0, 73}, {1, 100}, {1, -5}, {2, 0}, {1, 50}, {0, 1}, {1, 10}, {2, 0}, {0, 1023}, {1, 2000}};
    out.Byte(static_cast<uint8_t>(drag.size()));
    for (const auto& [message, x] : drag) {
        out.Byte(message);
        out.Int16(x);
    }
    WriteFrameSetup(out, kLayout, true, Audio());
    Save("band_editor", "first-run-drag", out.bytes);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS-FOLDER\n", argv[0]);
        return 2;
    }
    g_root = argv[1];
    Save("wav_reader", "pcm8-mono", Wav(1, 1, 8000, 8, false));
    Save("wav_reader", "pcm16-stereo", Wav(1, 2, 44100, 16, false));
    Save("wav_reader", "pcm24-stereo", Wav(1, 2, 48000, 24, false));
    Save("wav_reader", "pcm32-mono", Wav(1, 1, 96000, 32, false));
    Save("wav_reader", "float32-stereo", Wav(3, 2, 44100, 32, false));
    Save("wav_reader", "float64-mono", Wav(3, 1, 22050, 64, false));
    Save("wav_reader", "extensible-pcm16-5.1", Wav(1, 6, 48000, 16, true));
    Save("wav_reader", "extensible-float32-stereo", Wav(3, 2, 44100, 32, true));
    Save("wav_reader", "pcm16-list-chunk",
         Wav(1, 2, 44100, 16, false,
             {'I', 'N', 'F', 'O', 'I', 'N', 'A', 'M', 3, 0, 0, 0, 'T', 'w', 0}));
    SettingsSeeds();
    StreamSeeds();
    BandEditorSeeds();
    return 0;
}
