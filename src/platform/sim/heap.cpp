// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/sim/sim_internal.h"
#include "platform/system.h"

namespace {

struct Block {
    void* at;
    std::size_t bytes;
};

struct HeapState {
    std::mutex lock;
    // Blocks not yet freed: a few at a time (the capture buffers), so a
    // short list beats a hash set.
    std::vector<Block> live;
    // Freed blocks kept for the next allocation of the same size: capture
    // takes a fresh buffer for every one it is handed, and malloc would
    // hand out cold memory each time.
    std::vector<Block> spare;
    long allocations = 0;
    long failAt = 0;   // allocation number that fails; 0: none
    int keepFrees = 0; // frees still to be dropped (SimHeapKeepNextFrees)
};

HeapState heap;

void ResetHeap()
{
    std::lock_guard<std::mutex> guard(heap.lock);
    for (const Block& block : heap.live)
        std::free(block.at);
    heap.live.clear();
    for (const Block& block : heap.spare)
        std::free(block.at);
    heap.spare.clear();
    heap.allocations = 0;
    heap.failAt = 0;
    heap.keepFrees = 0;
}

SimResetHook heapReset(ResetHeap);

// Under AddressSanitizer every freed block goes back to malloc, so that a
// use after free is still caught.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t spareBlocks = 0;
#else
constexpr std::size_t spareBlocks = 8;
#endif

// A spare block of `bytes` if there is one, else a new one; under the lock.
void* Allocate(UINT flags, std::size_t bytes)
{
    bool zero = (flags & LMEM_ZEROINIT) != 0;
    for (std::size_t i = heap.spare.size(); i-- > 0;) {
        if (heap.spare[i].bytes != bytes)
            continue;
        void* block = heap.spare[i].at;
        heap.spare[i] = heap.spare.back();
        heap.spare.pop_back();
        if (zero)
            std::memset(block, 0, bytes);
        return block;
    }
    return zero ? std::calloc(1, bytes) : std::malloc(bytes);
}

} // namespace

void* LocalAlloc(UINT flags, std::size_t bytes)
{
    std::lock_guard<std::mutex> guard(heap.lock);
    ++heap.allocations;
    if (heap.failAt != 0 && heap.allocations == heap.failAt) {
        heap.failAt = 0;
        return nullptr;
    }
    void* block = Allocate(flags, bytes);
    if (block != nullptr)
        heap.live.push_back(Block{block, bytes});
    return block;
}

void* LocalFree(void* block)
{
    if (block == nullptr)
        return nullptr;
    if (SimHeapOwnsQueuedBlock(block)) {
        SimRecordFault("block freed while the wave device holds it");
        return block;
    }
    std::lock_guard<std::mutex> guard(heap.lock);
    auto found = std::find_if(heap.live.begin(), heap.live.end(),
                              [block](const Block& b) { return b.at == block; });
    if (found == heap.live.end()) {
        SimRecordFault("block freed twice or never allocated");
        return block;
    }
    if (heap.keepFrees > 0) {
        --heap.keepFrees;
        return nullptr;
    }
    Block freed = *found;
    *found = heap.live.back();
    heap.live.pop_back();
    if (heap.spare.size() < spareBlocks)
        heap.spare.push_back(freed);
    else
        std::free(block);
    return nullptr;
}

void SimHeapKeepNextFrees(int count)
{
    std::lock_guard<std::mutex> guard(heap.lock);
    heap.keepFrees = count;
}

void SimHeapFailNth(int n)
{
    std::lock_guard<std::mutex> guard(heap.lock);
    heap.failAt = heap.allocations + n;
}

long SimHeapLiveBlocks()
{
    std::lock_guard<std::mutex> guard(heap.lock);
    return static_cast<long>(heap.live.size());
}

long SimHeapAllocations()
{
    std::lock_guard<std::mutex> guard(heap.lock);
    return heap.allocations;
}
