// SPDX-License-Identifier: GPL-3.0-or-later
// The peak search runs on the audio thread for every buffer; it should cost
// about as much as reading the buffer once.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "audio/capture.h"
#include "settings/settings.h"

static std::vector<char> NoiseBlock()
{
    std::vector<char> block(captureBufferBytes);
    std::mt19937 random(7);
    for (char& byte : block)
        byte = static_cast<char>(random());
    return block;
}

static void BM_MeasureBuffer(benchmark::State& state)
{
    std::vector<char> block = NoiseBlock();
    limits.sensiFactor.store(15250.0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(block.data());
        MeasureBuffer(block.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * captureBufferBytes);
}
BENCHMARK(BM_MeasureBuffer);

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
