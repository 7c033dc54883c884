// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/sim/sim_internal.h"
#include "platform/system.h"

namespace {

struct HeapState {
    std::mutex lock;
    // Blocks not yet freed: a few at a time (the capture buffers), so a
    // short list beats a hash set.
    std::vector<void*> live;
    long allocations = 0;
    long failAt = 0; // allocation number that fails; 0: none
};

HeapState heap;

void ResetHeap()
{
    std::lock_guard<std::mutex> guard(heap.lock);
    for (void* block : heap.live)
        std::free(block);
    heap.live.clear();
    heap.allocations = 0;
    heap.failAt = 0;
}

SimResetHook heapReset(ResetHeap);

} // namespace

void* LocalAlloc(UINT flags, std::size_t bytes)
{
    std::lock_guard<std::mutex> guard(heap.lock);
    ++heap.allocations;
    if (heap.failAt != 0 && heap.allocations == heap.failAt) {
        heap.failAt = 0;
        return nullptr;
    }
    void* block = (flags & LMEM_ZEROINIT) != 0 ? std::calloc(1, bytes) : std::malloc(bytes);
    if (block != nullptr)
        heap.live.push_back(block);
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
    auto found = std::find(heap.live.begin(), heap.live.end(), block);
    if (found == heap.live.end()) {
        SimRecordFault("block freed twice or never allocated");
        return block;
    }
    *found = heap.live.back();
    heap.live.pop_back();
    std::free(block);
    return nullptr;
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
