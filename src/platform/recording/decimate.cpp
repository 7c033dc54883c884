// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/recording/decimate.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <vector>

namespace {

// Vector lanes: every phase has a multiple of this many taps, which the
// compiler turns into vector multiplications.
constexpr int lanes = 8;
// Taps per unit of the rate ratio: the filter spans the same time (about a
// millisecond) at every input rate, so its transition band, about 0.3 of
// the output rate wide, is the same.
constexpr int tapsPerRatio = 12;
constexpr int mostPhases = 512;
constexpr double cutoff = 0.45; // of the output rate: half amplitude there
constexpr double kaiserBeta = 5.0;

// The modified Bessel function of order 0, for the Kaiser window.
double BesselI0(double x)
{
    double sum = 1.0;
    double term = 1.0;
    for (int k = 1; k < 50 && term > 1e-12 * sum; ++k) {
        term *= (x / (2 * k)) * (x / (2 * k));
        sum += term;
    }
    return sum;
}

} // namespace

struct Decimator {
    // Output j lies at input time j * step / phases: at input `base` =
    // floor(j * step / phases) plus phase (j * step) % phases of a sample.
    std::int64_t phases = 1;
    std::int64_t step = 1;
    int taps = lanes;
    int before = 0;                  // taps before `base`: taps / 2 - 1
    std::vector<float> coefficients; // phases rows of `taps`
    std::vector<float> window;       // inputs from `first` on
    std::int64_t first = 0;          // input index of window[0] (negative: silence before)
    std::int64_t pushed = 0;         // inputs pushed
    std::int64_t next = 0;           // the next output
    bool ended = false;
};

namespace {

void Design(Decimator* decimator, double inputPerOutput)
{
    const int taps = decimator->taps;
    double half = taps / 2.0;
    double frequency = cutoff / inputPerOutput; // cycles per input sample
    decimator->coefficients.resize(static_cast<std::size_t>(decimator->phases * taps));
    for (std::int64_t phase = 0; phase < decimator->phases; ++phase) {
        float* row = decimator->coefficients.data() + phase * taps;
        double sum = 0.0;
        for (int k = 0; k < taps; ++k) {
            // Time of tap k from the output's, in input samples.
            double t = k - decimator->before -
                       static_cast<double>(phase) / static_cast<double>(decimator->phases);
            double sinc =
                t == 0.0 ? 2.0 * frequency : std::sin(2.0 * M_PI * frequency * t) / (M_PI * t);
            double edge = std::min(std::abs(t) / half, 1.0);
            double value =
                sinc * BesselI0(kaiserBeta * std::sqrt(1.0 - edge * edge)) / BesselI0(kaiserBeta);
            row[k] = static_cast<float>(value);
            sum += value;
        }
        // Each phase passes a steady level unchanged.
        for (int k = 0; k < taps; ++k)
            row[k] = static_cast<float>(row[k] / sum);
    }
}

// Sum of products in `lanes` partial sums, so that it vectorises.
float Dot(const float* coefficients, const float* samples, int taps)
{
    float partial[lanes] = {};
    for (int k = 0; k < taps; k += lanes) {
        for (int lane = 0; lane < lanes; ++lane)
            partial[lane] += coefficients[k + lane] * samples[k + lane];
    }
    float sum = 0.0f;
    for (float value : partial)
        sum += value;
    return sum;
}

} // namespace

Decimator* NewDecimator(int inputRate, int outputRate)
{
    if (outputRate < 1 || inputRate < 2 * outputRate)
        return nullptr;
    int common = std::gcd(inputRate, outputRate);
    if (outputRate / common > mostPhases)
        return nullptr;
    auto* decimator = new Decimator;
    decimator->phases = outputRate / common;
    decimator->step = inputRate / common;
    double inputPerOutput = static_cast<double>(inputRate) / outputRate;
    int taps = static_cast<int>(std::ceil(tapsPerRatio * inputPerOutput));
    decimator->taps = (taps + lanes - 1) / lanes * lanes;
    decimator->before = decimator->taps / 2 - 1;
    Design(decimator, inputPerOutput);
    ResetDecimator(decimator);
    return decimator;
}

void DeleteDecimator(Decimator* decimator)
{
    delete decimator;
}

void ResetDecimator(Decimator* decimator)
{
    // Silence before the first input.
    decimator->window.assign(static_cast<std::size_t>(decimator->before), 0.0f);
    decimator->first = -decimator->before;
    decimator->pushed = 0;
    decimator->next = 0;
    decimator->ended = false;
}

void PushDecimator(Decimator* decimator, const float* samples, long count)
{
    // Drop what no output from the next on reads.
    std::int64_t needed = decimator->next * decimator->step / decimator->phases - decimator->before;
    auto drop = static_cast<std::size_t>(std::clamp<std::int64_t>(
        needed - decimator->first, 0, static_cast<std::int64_t>(decimator->window.size())));
    decimator->window.erase(decimator->window.begin(),
                            decimator->window.begin() + static_cast<std::ptrdiff_t>(drop));
    decimator->first += static_cast<std::int64_t>(drop);
    decimator->window.insert(decimator->window.end(), samples, samples + count);
    decimator->pushed += count;
}

void EndDecimator(Decimator* decimator)
{
    if (decimator->ended)
        return;
    // Silence after the last input, for the last outputs' taps.
    std::vector<float> silence(static_cast<std::size_t>(decimator->taps), 0.0f);
    std::int64_t pushed = decimator->pushed;
    PushDecimator(decimator, silence.data(), decimator->taps);
    decimator->pushed = pushed;
    decimator->ended = true;
}

long PullDecimator(Decimator* decimator, float* out, long frames)
{
    const int taps = decimator->taps;
    const std::int64_t held =
        decimator->first + static_cast<std::int64_t>(decimator->window.size());
    long made = 0;
    while (made < frames) {
        std::int64_t at = decimator->next * decimator->step; // in phases
        if (decimator->ended && at >= decimator->pushed * decimator->phases)
            break;
        std::int64_t base = at / decimator->phases;
        if (base - decimator->before + taps > held)
            break;
        const float* row = decimator->coefficients.data() + (at % decimator->phases) * taps;
        const float* from =
            decimator->window.data() + (base - decimator->before - decimator->first);
        out[made++] = Dot(row, from, taps);
        ++decimator->next;
    }
    return made;
}
