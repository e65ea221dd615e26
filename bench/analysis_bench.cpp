// ns per frame of AnalyzeChannels: `make bench`.
#include "analysis/analysis.h"
#include "analysis/presets.h"

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
    ApplyRecordDefaults(channels);
    ApplyPreset(channels, 16, PresetFamily::FrequencyAndPower);
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
