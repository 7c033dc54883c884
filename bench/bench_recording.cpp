// SPDX-License-Identifier: GPL-3.0-or-later
// What a ten-second capture restart costs the window thread when the device
// plays a recording: while it plays, and after its end, when the room is
// silent and a restart should cost nothing.
#include <benchmark/benchmark.h>

#include <atomic>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <sndfile.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/alsa/wave_source.h"
#include "platform/wave.h"

namespace {

constexpr int fileRate = 44100;

// Seconds of stereo noise at 44.1 kHz as FLAC, like a phone's recording.
std::string WriteRecording(const std::string& folder, int seconds)
{
    std::string path = folder + "/room-" + std::to_string(seconds) + ".flac";
    SF_INFO info{};
    info.samplerate = fileRate;
    info.channels = 2;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr)
        return {};
    std::mt19937 random(3);
    std::normal_distribution<double> noise(0.0, 3000.0);
    std::vector<short> frames(2 * fileRate);
    for (int second = 0; second < seconds; ++second) {
        for (short& value : frames)
            value = static_cast<short>(std::lround(noise(random)));
        sf_writef_short(file, frames.data(), fileRate);
    }
    sf_close(file);
    return path;
}

void Ignore(HWAVEIN, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {}

struct Buffers {
    std::vector<char> data[2];
    WAVEHDR headers[2]{};
};

// The engine's restart: open, queue two buffers, start; later reset and close.
HWAVEIN Start(Buffers* buffers)
{
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = 11025;
    format.nBlockAlign = 2;
    format.nAvgBytesPerSec = 22050;
    format.wBitsPerSample = 16;
    HWAVEIN device = nullptr;
    if (waveInOpen(&device, WAVE_MAPPER, &format, Ignore, 0, CALLBACK_FUNCTION) != 0)
        return nullptr;
    for (int i = 0; i < 2; ++i) {
        buffers->data[i].assign(4096, 0);
        buffers->headers[i] = WAVEHDR{};
        buffers->headers[i].lpData = buffers->data[i].data();
        buffers->headers[i].dwBufferLength = 4096;
        waveInPrepareHeader(device, &buffers->headers[i], sizeof(WAVEHDR));
        waveInAddBuffer(device, &buffers->headers[i], sizeof(WAVEHDR));
    }
    waveInStart(device);
    return device;
}

void Stop(HWAVEIN device, Buffers* buffers)
{
    waveInReset(device);
    for (WAVEHDR& header : buffers->headers)
        waveInUnprepareHeader(device, &header, sizeof(WAVEHDR));
    waveInClose(device);
}

struct Folder {
    std::string path;
    Folder()
    {
        char name[] = "/tmp/cradlecom-bench-XXXXXX";
        const char* made = mkdtemp(name);
        path = made != nullptr ? made : "";
    }
    ~Folder()
    {
        if (!path.empty())
            std::filesystem::remove_all(path);
    }
};

void Restarts(benchmark::State& state, int seconds, bool afterEnd)
{
    Folder folder;
    std::string path = WriteRecording(folder.path, seconds);
    if (path.empty() || !SetWaveInputSource(path.c_str(), nullptr)) {
        state.SkipWithError("cannot prepare the recording");
        return;
    }
    Buffers buffers;
    HWAVEIN device = Start(&buffers); // the room's clock starts here
    if (device == nullptr) {
        state.SkipWithError("cannot open the device");
        return;
    }
    if (afterEnd)
        std::this_thread::sleep_for(std::chrono::milliseconds(seconds * 1000 + 500));
    for (auto _ : state) {
        Stop(device, &buffers);
        device = Start(&buffers);
        if (device == nullptr) {
            state.SkipWithError("cannot reopen the device");
            return;
        }
    }
    Stop(device, &buffers);
}

// How fast buffers come while the recording plays: a microphone's pace is
// 1.0 (2048 samples every 186 ms); faster means the room is not real time.
std::atomic<int> buffersBack{0};

void Count(HWAVEIN, UINT message, DWORD_PTR, DWORD_PTR header, DWORD_PTR)
{
    if (message == MM_WIM_DATA && reinterpret_cast<WAVEHDR*>(header)->dwBytesRecorded == 4096)
        ++buffersBack;
}

void BM_Pace(benchmark::State& state)
{
    Folder folder;
    std::string path = WriteRecording(folder.path, 10);
    if (path.empty() || !SetWaveInputSource(path.c_str(), nullptr)) {
        state.SkipWithError("cannot prepare the recording");
        return;
    }
    double ratio = 0.0;
    for (auto _ : state) {
        WAVEFORMATEX format{WAVE_FORMAT_PCM, 1, 11025, 22050, 2, 16, 0};
        HWAVEIN device = nullptr;
        waveInOpen(&device, WAVE_MAPPER, &format, Count, 0, CALLBACK_FUNCTION);
        std::vector<char> blocks(16 * 4096);
        std::vector<WAVEHDR> headers(16);
        for (int i = 0; i < 16; ++i) {
            headers[i].lpData = blocks.data() + i * 4096;
            headers[i].dwBufferLength = 4096;
            waveInPrepareHeader(device, &headers[i], sizeof(WAVEHDR));
            waveInAddBuffer(device, &headers[i], sizeof(WAVEHDR));
        }
        buffersBack = 0;
        auto begun = std::chrono::steady_clock::now();
        waveInStart(device);
        while (buffersBack < 16)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
        ratio = (16 * 2048.0 / 11025.0) / seconds;
        waveInReset(device);
        for (WAVEHDR& header : headers)
            waveInUnprepareHeader(device, &header, sizeof(WAVEHDR));
        waveInClose(device);
    }
    state.counters["pace"] = ratio;
}
BENCHMARK(BM_Pace)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_RestartWhilePlaying(benchmark::State& state)
{
    Restarts(state, static_cast<int>(state.range(0)), false);
}
BENCHMARK(BM_RestartWhilePlaying)->Arg(600)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_RestartAfterEnd(benchmark::State& state)
{
    Restarts(state, static_cast<int>(state.range(0)), true);
}
BENCHMARK(BM_RestartAfterEnd)->Arg(20)->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

int main(int argc, char** argv)
{
    // The event log of the recordings' ends stays out of the user's files.
    Folder state;
    setenv("XDG_STATE_HOME", state.path.c_str(), 1);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
