// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/cry_check.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/capture.h"

namespace {

constexpr int n = cryFrameSamples;
constexpr int log2n = 9;
static_assert(1 << log2n == n);
static_assert(cryFrames * cryFrameSamples * 2 == captureBufferBytes);
constexpr double sampleRate = 11025.0;
constexpr double binHz = sampleRate / n;

// Periods searched: from 2 samples (5.5 kHz, above anything a cry holds) to
// 110 (100 Hz, below any child's voice), so that a tone is placed at its own
// period and not at a multiple of it.
constexpr int shortestLag = 2;
constexpr int longestLag = 110;
// A shorter period whose peak is nearly as high as the best is the real
// one: the best is then a multiple of it.
constexpr float octaveTolerance = 0.9f;

constexpr int Bin(double hz, bool up)
{
    double k = hz / binHz;
    int whole = static_cast<int>(k);
    return up && whole < k ? whole + 1 : whole;
}
constexpr int wideLow = Bin(100.0, true);
constexpr int wideHigh = Bin(4000.0, false);
constexpr int cryLow = Bin(300.0, true);
constexpr int cryHigh = Bin(3000.0, false);

// The frame's window, the transform's twiddles and bit reversal, and the
// window's own autocorrelation, by which a windowed frame's autocorrelation
// is divided so that a periodic frame scores about 1 at its period.
struct Tables {
    float window[n];
    // The twiddles of the stage that joins transforms of `half` values lie
    // at [half, 2 half): read one after the other.
    float cosine[n];
    float sine[n];
    std::uint16_t reversed[n];
    float windowCorrelation[longestLag + 2];
};

Tables MakeTables()
{
    Tables t{};
    const double pi = std::acos(-1.0);
    for (int i = 0; i < n; ++i)
        t.window[i] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * pi * i / n));
    for (int half = 1; half < n; half *= 2) {
        for (int j = 0; j < half; ++j) {
            t.cosine[half + j] = static_cast<float>(std::cos(pi * j / half));
            t.sine[half + j] = static_cast<float>(-std::sin(pi * j / half));
        }
    }
    for (int i = 0; i < n; ++i) {
        int r = 0;
        for (int b = 0; b < log2n; ++b)
            r |= ((i >> b) & 1) << (log2n - 1 - b);
        t.reversed[i] = static_cast<std::uint16_t>(r);
    }
    // Circular, as the frames' autocorrelation through the transform is.
    double zero = 0.0;
    for (int i = 0; i < n; ++i)
        zero += double{t.window[i]} * t.window[i];
    for (int lag = 0; lag <= longestLag + 1; ++lag) {
        double sum = 0.0;
        for (int i = 0; i < n; ++i)
            sum += double{t.window[i]} * t.window[(i + lag) % n];
        t.windowCorrelation[lag] = static_cast<float>(sum / zero);
    }
    return t;
}

const Tables tables = MakeTables();

// Four floats that the compiler keeps in one vector register (SSE on x86,
// NEON on ARM).
typedef float Four __attribute__((vector_size(16)));

Four Load(const float* at)
{
    Four v;
    std::memcpy(&v, at, sizeof v);
    return v;
}

void Store(float* at, Four v)
{
    std::memcpy(at, &v, sizeof v);
}

// n complex values; separate arrays of one record, so that the compiler
// knows they do not overlap.
struct Values {
    float re[n];
    float im[n];
};

// In-place radix-2 transform.
void Transform(Values& z)
{
    float* re = z.re;
    float* im = z.im;
    for (int i = 0; i < n; ++i) {
        int j = tables.reversed[i];
        if (j > i) {
            float r = re[i];
            re[i] = re[j];
            re[j] = r;
            float m = im[i];
            im[i] = im[j];
            im[j] = m;
        }
    }
    // The first two stages need no multiplication: their twiddles are 1
    // and -i.
    for (int a = 0; a < n; a += 4) {
        float r0 = re[a] + re[a + 1], i0 = im[a] + im[a + 1];
        float r1 = re[a] - re[a + 1], i1 = im[a] - im[a + 1];
        float r2 = re[a + 2] + re[a + 3], i2 = im[a + 2] + im[a + 3];
        float r3 = re[a + 2] - re[a + 3], i3 = im[a + 2] - im[a + 3];
        re[a] = r0 + r2;
        im[a] = i0 + i2;
        re[a + 2] = r0 - r2;
        im[a + 2] = i0 - i2;
        re[a + 1] = r1 + i3;
        im[a + 1] = i1 - r3;
        re[a + 3] = r1 - i3;
        im[a + 3] = i1 + r3;
    }
    // Then four butterflies at a time, as one vector operation each.
    for (int half = 4; half < n; half *= 2) {
        const float* cosine = tables.cosine + half;
        const float* sine = tables.sine + half;
        for (int start = 0; start < n; start += 2 * half) {
            for (int j = 0; j < half; j += 4) {
                int a = start + j;
                int b = a + half;
                Four wr = Load(cosine + j), wi = Load(sine + j);
                Four ar = Load(re + a), ai = Load(im + a);
                Four br = Load(re + b), bi = Load(im + b);
                Four tr = br * wr - bi * wi;
                Four ti = br * wi + bi * wr;
                Store(re + a, ar + tr);
                Store(im + a, ai + ti);
                Store(re + b, ar - tr);
                Store(im + b, ai - ti);
            }
        }
    }
}

// The frame's period from its normalised autocorrelation at lags
// 0..longestLag + 1: the shortest peak nearly as high as the highest.
void FindPeriod(const float* r, float* pitch, float* periodicity)
{
    *pitch = 0.0f;
    *periodicity = 0.0f;
    float best = 0.0f;
    for (int lag = shortestLag; lag <= longestLag; ++lag) {
        if (r[lag] > r[lag - 1] && r[lag] >= r[lag + 1] && r[lag] > best)
            best = r[lag];
    }
    if (best <= 0.0f)
        return;
    for (int lag = shortestLag; lag <= longestLag; ++lag) {
        if (r[lag] > r[lag - 1] && r[lag] >= r[lag + 1] && r[lag] >= octaveTolerance * best) {
            // The peak between the lags, from the parabola through three.
            float left = r[lag - 1], mid = r[lag], right = r[lag + 1];
            float bend = left - 2.0f * mid + right;
            float shift = bend < 0.0f ? 0.5f * (left - right) / bend : 0.0f;
            *pitch = static_cast<float>(sampleRate / (lag + shift));
            *periodicity = mid - 0.25f * (left - right) * shift;
            return;
        }
    }
}

// A pitch track follows frames with some periodicity whose pitch moves less
// than trackStep (natural log: about 10 %) from one frame to the next; a
// jump of an octave is the pitch search's doing, not the sound's, and is
// folded away.
constexpr float trackPeriodicity = 0.5f;
constexpr float trackStep = 0.1f;
constexpr float octave = 0.693147181f; // ln 2

// The RMS distance of `count` values from the straight line that fits them
// best.
float DistanceFromLine(const float* y, int count)
{
    double mean = 0.0;
    for (int i = 0; i < count; ++i)
        mean += y[i] - y[0];
    mean /= count;
    double middle = 0.5 * (count - 1);
    double sxx = 0.0, sxy = 0.0, syy = 0.0;
    for (int i = 0; i < count; ++i) {
        double dx = i - middle;
        double dy = y[i] - y[0] - mean;
        sxx += dx * dx;
        sxy += dx * dy;
        syy += dy * dy;
    }
    double residual = (syy - sxy * sxy / sxx) / count;
    return static_cast<float>(std::sqrt(std::max(residual, 0.0)));
}

// Adds one frame to the pitch track in *state; true when the track's last
// rule.steadyFrames frames lie so near a straight glide that no voice made
// them.
bool FollowPitch(float pitch, float periodicity, const CryRule& rule, CryCheckState* state)
{
    if (!(periodicity >= trackPeriodicity) || !(pitch > 0.0f)) {
        state->trackFrames = 0;
        return false;
    }
    float y = std::log(pitch);
    if (state->trackFrames > 0) {
        float step = y - state->track[state->trackFrames - 1];
        if (std::fabs(step - octave) < trackStep)
            y -= octave;
        else if (std::fabs(step + octave) < trackStep)
            y += octave;
        else if (!(std::fabs(step) < trackStep))
            state->trackFrames = 0;
    }
    if (state->trackFrames == cryTrackFrames) {
        std::memmove(state->track, state->track + 1, sizeof(float) * (cryTrackFrames - 1));
        state->trackFrames = cryTrackFrames - 1;
    }
    state->track[state->trackFrames] = y;
    state->trackFrames = state->trackFrames + 1;
    // Fewer than three points lie on a line whatever made them.
    if (rule.steadyFrames < 3 || state->trackFrames < rule.steadyFrames)
        return false;
    return DistanceFromLine(state->track + state->trackFrames - rule.steadyFrames,
                            rule.steadyFrames) < rule.steadyGlide;
}

} // namespace

void MeasureCryFeatures(const char* data, CryFeatures* features)
{
    std::int16_t samples[cryFrames * n];
    std::memcpy(samples, data, sizeof samples);
    double wide = 0.0;
    double cry = 0.0;
    // Two frames a transform: one as the real part, one as the imaginary.
    for (int pair = 0; pair < cryFrames; pair += 2) {
        Values z;
        float* re = z.re;
        float* im = z.im;
        const std::int16_t* first = samples + pair * n;
        const std::int16_t* second = first + n;
        float meanFirst = 0.0f, meanSecond = 0.0f;
        for (int i = 0; i < n; ++i) {
            meanFirst += first[i];
            meanSecond += second[i];
        }
        meanFirst /= n;
        meanSecond /= n;
        for (int i = 0; i < n; ++i) {
            re[i] = (first[i] - meanFirst) * tables.window[i];
            im[i] = (second[i] - meanSecond) * tables.window[i];
        }
        Transform(z);
        // Each frame's power spectrum, split from the joint one; it goes back
        // as real and imaginary part, so one more transform gives both
        // autocorrelations.
        float powerFirst[n];
        float powerSecond[n];
        for (int k = 0; k < n; ++k) {
            int mirror = (n - k) % n;
            float ar = 0.5f * (re[k] + re[mirror]);
            float ai = 0.5f * (im[k] - im[mirror]);
            float br = 0.5f * (im[k] + im[mirror]);
            float bi = 0.5f * (re[mirror] - re[k]);
            powerFirst[k] = ar * ar + ai * ai;
            powerSecond[k] = br * br + bi * bi;
        }
        for (int k = wideLow; k <= wideHigh; ++k) {
            float both = powerFirst[k] + powerSecond[k];
            wide += both;
            if (k >= cryLow && k <= cryHigh)
                cry += both;
        }
        // The inverse transform as the forward one with real and imaginary
        // parts exchanged.
        for (int k = 0; k < n; ++k) {
            re[k] = powerSecond[k];
            im[k] = powerFirst[k];
        }
        Transform(z);
        const float* correlation[2] = {im, re};
        for (int f = 0; f < 2; ++f) {
            const float* c = correlation[f];
            float r[longestLag + 2];
            if (!(c[0] > 0.0f)) {
                features->pitch[pair + f] = 0.0f;
                features->periodicity[pair + f] = 0.0f;
                continue;
            }
            for (int lag = 0; lag <= longestLag + 1; ++lag)
                r[lag] = c[lag] / c[0] / tables.windowCorrelation[lag];
            FindPeriod(r, &features->pitch[pair + f], &features->periodicity[pair + f]);
        }
    }
    features->bandShare = wide > 0.0 ? static_cast<float>(cry / wide) : 0.0f;
}

bool FeaturesLikeCry(const CryFeatures& features, const CryRule& rule, CryCheckState* state)
{
    std::int32_t passing = 0;
    for (int f = 0; f < cryFrames; ++f) {
        bool steady = FollowPitch(features.pitch[f], features.periodicity[f], rule, state);
        if (!steady && features.periodicity[f] >= rule.periodicity &&
            features.pitch[f] >= rule.lowHz && features.pitch[f] <= rule.highHz)
            ++passing;
    }
    bool likeCry = features.bandShare >= rule.bandShare && passing >= rule.frames;
    bool verdict = likeCry || state->lastLikeCry == 1;
    state->lastLikeCry = likeCry ? 1 : 0;
    return verdict;
}

bool BlockSoundsLikeCry(const char* data, CryCheckState* state)
{
    CryFeatures features;
    MeasureCryFeatures(data, &features);
    return FeaturesLikeCry(features, cryRule, state);
}
