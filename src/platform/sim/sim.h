// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated platform's controls, for tests and the replay tool.
//
// Time is virtual and counts in units of 1/110250 s: sample i of the input
// spans [10 i, 10 i + 10), and the 100 ms timer fires every 11025 units.
// Nothing here sleeps; the clock moves only when the message loop (or a
// test) waits for the next event.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/types.h"

using SimTime = std::int64_t;
constexpr SimTime simUnitsPerSecond = 110250;
constexpr SimTime simUnitsPerSample = 10;

// Returns the whole simulated platform to its start: time 0, no input, no
// device, no windows, no failures, empty heap counters.
void SimReset();
SimTime SimNow();

// The input that the wave device records from. With N samples, the run ends
// at 10 N: no buffer completes after that, and the message loop closes the
// windows after the last timer tick at or before it, that tick included.
void SimSetInput(std::vector<std::int16_t> samples);
// The input as a stream: `read` fills up to `count` samples and returns how
// many it gave, fewer only at the end. Only a window of the stream is held
// (what the device may still record, and a chunk read ahead), so memory does
// not grow with the input's length; the end becomes known when it is read.
using SimInputReader = std::function<long(std::int16_t* samples, long count)>;
void SimSetInputStream(SimInputReader read);
// The input as loudness only, for tools that replay what is measured: it is
// `samples` long, and `peakOf` gives the largest magnitude (0 to 32768) of
// the 2048 samples from `start`, false when it does not know it (a fault).
// A full buffer comes back silent but for that peak in its first sample; a
// buffer cut short by a reset comes back silent.
using SimPeakReader = std::function<bool(std::int64_t start, std::int32_t* peak)>;
void SimSetInputPeaks(std::int64_t samples, SimPeakReader peakOf);
// The most samples of the input held at once since it was set.
long SimInputHeldMost();
// The run's end; while a stream's end has not been read, the end set with
// SimSetEndTime (INT64_MAX by default).
SimTime SimEndTime();
// Ends a run that has no input (or ends it earlier than its input does).
void SimSetEndTime(SimTime end);
// Runs `action` when the clock reaches `when`: after a buffer returned at
// that time, before a timer tick at that time. Actions at equal times run in
// the order they were added.
void SimAt(SimTime when, std::function<void()> action);

// Runs due events (returned buffers first, then timer ticks) up to and
// including time `until`, without a message loop: timer ticks call the
// timer sink. Returns false when the input's end was reached first.
bool SimRunUntil(SimTime until);
// Where timer ticks go when no window system takes them; used by tools that
// drive the tick directly.
void SimSetTimerSink(void (*sink)(HWND window, std::uintptr_t id));
// Timers as the window system registers them.
void SimAddTimer(HWND window, std::uintptr_t id, SimTime period);
void SimRemoveTimer(HWND window, std::uintptr_t id);
void SimRemoveTimersOf(HWND window);
// The next event's time (buffer or timer); INT64_MAX when none.
SimTime SimNextEventTime();
// Processes exactly the next event if it is due at or before `until`.
bool SimStepOnce(SimTime until);

// Local time as GetLocalTime reports it; fixed until set again.
void SimSetLocalTime(int hour, int minute);

// Heap: fail the allocation `n` allocations from now (1 = the next one).
void SimHeapFailNth(int n);
// A program that loses blocks, for the tests that must see it caught: the
// next `count` frees succeed but free nothing, and their blocks stay live.
void SimHeapKeepNextFrees(int count);
long SimHeapLiveBlocks();
long SimHeapAllocations();
// Faults seen by the platform: a block freed twice or one the wave device
// still holds, a queued header unprepared, a buffer queued twice or while
// closing.
long SimFaults();
std::string SimLastFault();

// Wave device.
enum class SimWaveOp { Open, Prepare, Add, Start, Unprepare, Reset, Close };
void SimWaveFailNth(SimWaveOp op, int n); // 1 = the next call of op fails
long SimWaveCalls(SimWaveOp op);
bool SimWaveIsOpen();
int SimWaveQueued();
long SimWaveBuffersReturned();
// Manual delivery (no input set): returns the head buffer with `count`
// samples copied from `samples` and 2 * count bytes recorded.
bool SimWaveDeliver(const std::int16_t* samples, int count);
// A device thread of its own that returns buffers filled with `amplitude`
// as fast as they are queued, for stress tests. Started at the first open,
// it serves every device opened after until the reset.
void SimWaveSetThreaded(bool threaded, std::int16_t amplitude);
// Threaded mode: before each return the device thread pauses for a random
// 0 to `mostMicros` microseconds (0: no pause), drawn from `seed`, so that
// buffers come back at random moments against starts and stops.
void SimWaveSetThreadedPauses(int mostMicros, std::uint32_t seed);
// Buffers returned full while capturing, by the clock or the device thread
// (not those a reset hands back, nor manual deliveries).
long SimWaveFullBuffersReturned();
// Faults of the clock-driven device, each for the device whatever is opened:
// the next buffer comes back short, as soon as `samples` (1 to 2047) are in,
// with only those recorded; the next one starts after them.
void SimWaveShortNext(int samples);
// A stalled device thread: no buffer comes back before `until`; then the
// one it holds comes back late with the samples it had, and the next starts
// at that moment (what came in meanwhile is lost, as in an overrun). A reset
// still hands the buffers back at once.
void SimWaveStall(SimTime until);
// Called inside the callback, after the device's state is updated; lets a
// test act at the moment a buffer is returned.
void SimWaveSetCallbackObserver(std::function<void(UINT message)> observer);
