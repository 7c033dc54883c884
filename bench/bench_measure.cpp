// SPDX-License-Identifier: GPL-3.0-or-later
// The peak search runs on the audio thread for every buffer; it should cost
// about as much as reading the buffer once.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "audio/capture.h"
#include "audio/cry_check.h"
#include "settings/settings.h"

static std::vector<char> NoiseBlock()
{
    std::vector<char> block(captureBufferBytes);
    std::mt19937 random(7);
    for (char& byte : block)
        byte = static_cast<char>(random());
    return block;
}

// A voice-like tone at 400 Hz: every frame periodic, so the check also
// follows its pitch track and fits the glide.
static std::vector<char> ToneBlock()
{
    std::vector<std::int16_t> samples(captureBufferBytes / 2);
    const double pi = std::acos(-1.0);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        double v = 0.0;
        for (int k = 1; k <= 8; ++k)
            v += std::sin(2.0 * pi * 400.0 * k * static_cast<double>(i) / 11025.0) / k;
        samples[i] = static_cast<std::int16_t>(3000.0 * v);
    }
    std::vector<char> block(captureBufferBytes);
    std::memcpy(block.data(), samples.data(), captureBufferBytes);
    return block;
}

// Argument 0: CryCheck off, as today; 1: on, the capture thread's whole work
// on a block with the check (on a tone, whose pitch the check follows).
static void BM_MeasureBuffer(benchmark::State& state)
{
    std::vector<char> block = state.range(0) == 0 ? NoiseBlock() : ToneBlock();
    limits.sensiFactor.store(15250.0);
    limits.cryCheck.store(static_cast<std::int32_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(block.data());
        MeasureBuffer(block.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * captureBufferBytes);
    limits.cryCheck.store(0);
}
BENCHMARK(BM_MeasureBuffer)->Arg(0)->Arg(1);

// The cry check runs beside the peak search on the same thread; its share of
// the thread's budget (a block every 186 ms) should stay under 1 %: 20 us.
// Argument 0: noise; 1: a tone, whose pitch the check follows.
static void BM_CryCheck(benchmark::State& state)
{
    std::vector<char> block = state.range(0) == 0 ? NoiseBlock() : ToneBlock();
    CryCheckState check{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(block.data());
        benchmark::DoNotOptimize(BlockSoundsLikeCry(block.data(), &check));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * captureBufferBytes);
}
BENCHMARK(BM_CryCheck)->Arg(0)->Arg(1);

static void BM_Memcpy4096(benchmark::State& state)
{
    std::vector<char> block = NoiseBlock();
    std::vector<char> copy(captureBufferBytes);
    for (auto _ : state) {
        benchmark::DoNotOptimize(block.data());
        std::memcpy(copy.data(), block.data(), captureBufferBytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * captureBufferBytes);
}
BENCHMARK(BM_Memcpy4096);

BENCHMARK_MAIN();
