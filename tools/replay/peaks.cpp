// SPDX-License-Identifier: GPL-3.0-or-later
// The loudness index of a recording: the peak of every buffer that a capture
// started on any tick can return, from one pass over the samples.
//
// Capture starts at the sample where a tick falls (tick n at n x 1102.5
// samples with a tick every 100 ms, rounded up, since a sample spans 10 of
// the simulated time units) and returns buffers of 2048 samples one after
// the other until it is stopped, at the latest by the restart
// ticksPerRestart ticks later: at most 53 full buffers, 54 with one to
// spare. A sweep over settings changes when calls come and so which ticks
// start capture, but every buffer it can see is in this family.
//
// Each buffer's peak is max(suffix of one block of 2048, prefix of the
// next), blocks aligned on multiples of 2048.
#include <algorithm>
#include <array>

#include "platform/recording/recording.h"
#include "replay.h"

namespace {

constexpr std::int64_t block = 2048;
// Samples in a thousand ticks.
constexpr std::int64_t thousandTickSamples = std::int64_t{captureRate} * tickPeriodMs;

// Sample where capture starts when it is started on tick `n`.
std::int64_t TickStart(std::int64_t n)
{
    return (n * thousandTickSamples + 999) / 1000;
}

// The first tick whose start is at or after `sample`.
std::int64_t FirstTickFrom(std::int64_t sample)
{
    std::int64_t n = std::max<std::int64_t>(0, sample * 1000 / thousandTickSamples - 1);
    while (TickStart(n) < sample)
        ++n;
    return n;
}

constexpr int group = 8;
constexpr int groups = static_cast<int>(block) / group;

// One block of samples as magnitudes, and the largest of them over groups
// of eight: from the start up to each group, and from each group to the
// end. A buffer's edge inside a group is found among at most 7 samples.
struct Block {
    std::array<std::int16_t, block> samples;    // zeros past `count`
    std::array<std::uint16_t, block> magnitude; // |sample|, 0 to 32768
    std::array<std::uint16_t, groups> upTo;     // max of groups 0..g
    std::array<std::uint16_t, groups> from;     // max of groups g..last
    std::int64_t count = 0;

    // The largest magnitude of samples r..2047.
    std::uint16_t SuffixFrom(std::int64_t r) const
    {
        std::int64_t g = r / group;
        std::uint16_t peak = g + 1 < groups ? from[static_cast<std::size_t>(g + 1)] : 0;
        for (std::int64_t j = r; j < (g + 1) * group; ++j)
            peak = std::max(peak, magnitude[static_cast<std::size_t>(j)]);
        return peak;
    }
    // The largest magnitude of samples 0..r.
    std::uint16_t PrefixTo(std::int64_t r) const
    {
        std::int64_t g = r / group;
        std::uint16_t peak = g > 0 ? upTo[static_cast<std::size_t>(g - 1)] : 0;
        for (std::int64_t j = g * group; j <= r; ++j)
            peak = std::max(peak, magnitude[static_cast<std::size_t>(j)]);
        return peak;
    }
};

void Fold(Block* into)
{
    for (std::size_t j = 0; j < static_cast<std::size_t>(block); ++j)
        into->magnitude[j] = static_cast<std::uint16_t>(std::abs(std::int32_t{into->samples[j]}));
    std::array<std::uint16_t, groups> maxima;
    for (std::size_t g = 0; g < static_cast<std::size_t>(groups); ++g) {
        std::uint16_t peak = 0;
        for (std::size_t j = 0; j < static_cast<std::size_t>(group); ++j)
            peak = std::max(peak, into->magnitude[g * group + j]);
        maxima[g] = peak;
    }
    std::uint16_t running = 0;
    for (std::size_t g = 0; g < static_cast<std::size_t>(groups); ++g)
        into->upTo[g] = running = std::max(running, maxima[g]);
    running = 0;
    for (std::size_t g = static_cast<std::size_t>(groups); g-- > 0;)
        into->from[g] = running = std::max(running, maxima[g]);
}

struct Builder {
    PeakIndex* index;
    Block blocks[2]; // block q in blocks[q % 2]

    std::uint16_t& Slot(std::int64_t tick, int k)
    {
        auto chunk = static_cast<std::size_t>(tick / ticksPerChunk);
        while (index->chunks.size() <= chunk)
            index->chunks.emplace_back(ticksPerChunk * buffersPerStart, std::uint16_t{0});
        return index
            ->chunks[chunk][static_cast<std::size_t>((tick % ticksPerChunk) * buffersPerStart + k)];
    }

    // Every indexed buffer that starts in block q, once block q + 1 holds
    // the samples it needs (`total` samples exist in all): those of the
    // ticks whose capture started in blocks q - 53 to q, each at the same
    // offset into its block as the capture's start.
    void FinishBlock(std::int64_t q, std::int64_t total)
    {
        const Block& here = blocks[q % 2];
        const Block& next = blocks[(q + 1) % 2];
        std::int64_t first =
            FirstTickFrom(std::max<std::int64_t>(0, (q - buffersPerStart + 1) * block));
        for (std::int64_t n = first;; ++n) {
            std::int64_t tickStart = TickStart(n);
            if (tickStart >= (q + 1) * block)
                break;
            std::int64_t r = tickStart % block;
            auto k = static_cast<int>(q - tickStart / block);
            if (q * block + r + block > total)
                continue; // runs past the end: never full
            std::uint16_t peak = here.SuffixFrom(r);
            if (r > 0)
                peak = std::max(peak, next.PrefixTo(r - 1));
            Slot(n, k) = peak;
            index->starts = std::max(index->starts, n + 1);
        }
    }
};

} // namespace

void BuildPeakIndex(RecordingStream* stream, PeakIndex* index)
{
    *index = PeakIndex{};
    Builder builder{index, {}};
    // Read sixteen blocks at a time: fewer, larger reads of the file.
    constexpr std::int64_t readBlocks = 16;
    std::vector<std::int16_t> read(static_cast<std::size_t>(readBlocks * block));
    std::int64_t readCount = 0;
    std::int64_t readAt = 0;
    std::int64_t total = 0;
    for (std::int64_t q = 0;; ++q) {
        if (readAt == readCount) {
            readCount = ReadRecordingStream(stream, read.data(), readBlocks * block);
            readAt = 0;
        }
        Block& current = builder.blocks[q % 2];
        current.count = std::min(block, readCount - readAt);
        std::copy_n(read.begin() + readAt, current.count, current.samples.begin());
        std::fill(current.samples.begin() + current.count, current.samples.end(), 0);
        readAt += current.count;
        Fold(&current);
        total += current.count;
        if (q > 0)
            builder.FinishBlock(q - 1, total);
        if (current.count < block)
            break; // no full buffer starts in the last block
    }
    index->samples = total;
}

namespace {

std::uint16_t Stored(const PeakIndex& index, std::int64_t tick, int k)
{
    return index.chunks[static_cast<std::size_t>(tick / ticksPerChunk)]
                       [static_cast<std::size_t>((tick % ticksPerChunk) * buffersPerStart + k)];
}

} // namespace

bool LookUpPeak(const PeakIndex& index, std::int64_t start, std::int32_t* peak, PeakCursor* cursor)
{
    if (start < 0 || start + block > index.samples)
        return false;
    if (cursor->tick >= 0 && cursor->k + 1 < buffersPerStart &&
        start == TickStart(cursor->tick) + (cursor->k + 1) * block) {
        ++cursor->k;
        *peak = Stored(index, cursor->tick, cursor->k);
        return true;
    }
    for (int k = 0; k < buffersPerStart; ++k) {
        std::int64_t tickStart = start - k * block;
        if (tickStart < 0)
            break;
        std::int64_t n = FirstTickFrom(tickStart);
        if (TickStart(n) == tickStart && n < index.starts) {
            *cursor = PeakCursor{n, k};
            *peak = Stored(index, n, k);
            return true;
        }
    }
    return false;
}
