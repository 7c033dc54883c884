// The loudness index of a recording: the peak of every buffer that a capture
// started on any tick can return, from one pass over the samples.
//
// Capture starts at the sample where a tick falls (tick n at n x 1102.5
// samples, rounded up, since a tick is 11025 time units and a sample 10) and
// returns buffers of 2048 samples one after the other until it is stopped,
// at the latest by the restart 100 ticks later: at most 53 full buffers, 54
// with one to spare. A sweep over settings changes when calls come and so
// which ticks start capture, but every buffer it can see is in this family.
//
// Each buffer's peak is max(suffix of one block of 2048, prefix of the
// next), blocks aligned on multiples of 2048: two running maxima per sample.
#include <algorithm>
#include <array>

#include "platform/recording/recording.h"
#include "replay.h"

namespace {

constexpr std::int64_t block = 2048;

// Sample where capture starts when it is started on tick `n`.
std::int64_t TickStart(std::int64_t n)
{
    return (n * 2205 + 1) / 2;
}

// The first tick whose start is at or after `sample`.
std::int64_t FirstTickFrom(std::int64_t sample)
{
    std::int64_t n = std::max<std::int64_t>(0, sample * 2 / 2205 - 1);
    while (TickStart(n) < sample)
        ++n;
    return n;
}

struct Block {
    std::array<std::uint16_t, block> prefix; // max of samples 0..j
    std::array<std::uint16_t, block> suffix; // max of samples j..2047
    std::int64_t count = 0;                  // samples read into it
};

void Fold(const std::int16_t* samples, Block* into)
{
    std::uint16_t running = 0;
    for (std::int64_t j = 0; j < into->count; ++j) {
        auto magnitude = static_cast<std::uint16_t>(std::abs(std::int32_t{samples[j]}));
        running = std::max(running, magnitude);
        into->prefix[static_cast<std::size_t>(j)] = running;
    }
    running = 0;
    for (std::int64_t j = into->count - 1; j >= 0; --j) {
        auto magnitude = static_cast<std::uint16_t>(std::abs(std::int32_t{samples[j]}));
        running = std::max(running, magnitude);
        into->suffix[static_cast<std::size_t>(j)] = running;
    }
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
    // the samples it needs (`total` samples exist in all).
    void FinishBlock(std::int64_t q, std::int64_t total)
    {
        const Block& here = blocks[q % 2];
        const Block& next = blocks[(q + 1) % 2];
        for (int k = 0; k < buffersPerStart; ++k) {
            std::int64_t from = (q - k) * block;
            if (from + block <= 0)
                break;
            for (std::int64_t n = FirstTickFrom(std::max<std::int64_t>(from, 0));
                 TickStart(n) < from + block; ++n) {
                std::int64_t start = TickStart(n) + k * block;
                if (start + block > total)
                    continue;
                auto r = static_cast<std::size_t>(start - q * block);
                std::uint16_t peak = here.suffix[r];
                if (r > 0)
                    peak = std::max(peak, next.prefix[r - 1]);
                Slot(n, k) = peak;
                index->starts = std::max(index->starts, n + 1);
            }
        }
    }
};

} // namespace

void BuildPeakIndex(RecordingStream* stream, PeakIndex* index)
{
    *index = PeakIndex{};
    Builder builder{index, {}};
    std::vector<std::int16_t> samples(static_cast<std::size_t>(block));
    std::int64_t total = 0;
    for (std::int64_t q = 0;; ++q) {
        Block& current = builder.blocks[q % 2];
        current.count = ReadRecordingStream(stream, samples.data(), block);
        Fold(samples.data(), &current);
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
