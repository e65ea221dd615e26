// ns per frame of AnalyzeChannels: `make bench`.
#include "analysis/analysis.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

TimedLevel RandomFrame() {
    TimedLevel f{};
    std::mt19937 rng(1);
    for (auto& channel : f.frequency)
        for (auto& b : channel)
            b = static_cast<unsigned char>(rng() % 256);
    for (auto& channel : f.waveform)
        for (auto& b : channel)
            b = static_cast<unsigned char>(rng() % 256);
    return f;
}

// The first-run layout: 14 Peak bands of 73 bins, then two Power Peak Level channels.
void FirstRunLayout(ChannelTable& channels) {
    for (int i = 0; i < kChannelCount; ++i) {
        ChannelConfig& c = channels[i];
        c = ChannelConfig{};
        c.Enabled = 1;
        c.Address = static_cast<uint8_t>(i);
        c.Mode = i >= 14 ? ModePower : ModeFrequency;
        c.AudioChannel = i == 15 ? 1 : 0;
        c.FreqStart = 73 * i;
        c.FreqEnd = 73 * (i + 1);
        c.FreqWidth = 50;
    }
}

void BM_AnalyzeFirstRunLayout(benchmark::State& state) {
    const TimedLevel frame = RandomFrame();
    ChannelTable channels;
    FirstRunLayout(channels);
    for (auto _ : state) {
        LevelTable levels = {};
        AnalyzeChannels(frame, channels, levels);
        benchmark::DoNotOptimize(levels);
    }
}
BENCHMARK(BM_AnalyzeFirstRunLayout);

void BM_AnalyzeSixteenGraphWidth(benchmark::State& state) {
    const TimedLevel frame = RandomFrame();
    ChannelTable channels;
    FirstRunLayout(channels);
    for (int i = 0; i < kChannelCount; ++i) {
        channels[i].Mode = ModeFrequency;
        channels[i].FreqMode = FreqGraphWidth;
        channels[i].FreqWidth = 5 + 6 * i;
    }
    for (auto _ : state) {
        LevelTable levels = {};
        AnalyzeChannels(frame, channels, levels);
        benchmark::DoNotOptimize(levels);
    }
}
BENCHMARK(BM_AnalyzeSixteenGraphWidth);

} // namespace

BENCHMARK_MAIN();
