// SPDX-License-Identifier: GPL-3.0-or-later
// The soak's invariants: the program's promises, checked after every tick
// and at every exit against the store, the event log, the phone and the
// simulated device.
#include <algorithm>
#include <cstdio>
#include <set>

#include "alarm/monitor.h"
#include "alarm/watch.h"
#include "audio/capture.h"
#include "platform/sim/sim_nights.h"
#include "platform/sim/sim_phone.h"
#include "platform/sim/sim_registry.h"
#include "settings/settings.h"
#include "soak_parts.h"

namespace soakparts {

namespace {

// Two queued capture buffers and the one being measured, each a header and
// a data block.
constexpr long heapBlocksMost = 6;
// Between two full buffers of running capture: two buffer lengths (2048
// samples are 1.86 ticks) and the one a restart cuts short.
constexpr long flowTicksMost = 6;
// The clock fields follow local time at the next once-a-second step, and a
// call starts the second anew.
constexpr long clockTicksMost = 2 * ticksPerSecond;

const char* const invTicks = "ticks: the 100 ms tick neither skips nor drifts";
const char* const invPlatform = "platform: no fault seen by the simulated platform";
const char* const invBuffers =
    "capture buffers: every buffer allocated is released exactly once, none queued twice";
const char* const invHeap = "heap: outstanding blocks stay bounded";
const char* const invRecover =
    "capture: runs again within one restart period after the device recovers";
const char* const invMeter = "cry meter: level and meter within [0, 1]";
const char* const invLoud =
    "cry meter: rises only on a loud tick, with CryCheck only on a cry-like block";
const char* const invTickCalls = "calls: only from the monitoring tick, only while monitoring";
const char* const invDelay = "calls: none while the delay runs";
const char* const invMaxCalls = "calls: none beyond PhoneMaxCalls per monitoring run";
const char* const invActive = "calls: none while a previous call is in progress";
const char* const invRound =
    "calls: a round's next number only after a call not answered or failed, in turn";
const char* const invHeldBack =
    "calls: a call the crying asks for is placed, or the log says why not";
const char* const invQuiet = "calls: level 0 and capture down until the restart after a call";
const char* const invSaved = "settings: memory equals the store after every successful save";
const char* const invNotSaved = "settings: a failed save leaves the store as it was";
const char* const invLog = "event log: agrees with the calls made";
const char* const invClock = "clock: the screen's clock follows local time";
const char* const invExit = "exit: the program ends cleanly and releases everything";
const char* const invMicLog = "event log: tells every microphone failure and recovery";
const char* const invButton = "screen: the Start/Stop button tells what pressing it does";
const char* const invSilentTold =
    "messages: a microphone silent for a minute while monitoring is told, once per half-hour";
const char* const invDrawing = "drawing: no pen, brush or device context outlives its drawing";
const char* const invNight =
    "nights: a recording is open only while monitoring, and never ahead of the run's time";
const char* const invDark =
    "screen: dark only while monitoring runs untouched, lit again at the next touch";

void CheckSaved()
{
    std::map<std::u16string, std::u16string> store = ReadStore();
    SettingsRecord defaults{};
    SetDefaultSettings(&defaults);
    for (int index = 0; index < settingNameCount; ++index) {
        const std::u16string name = storedSettings[index].name;
        const std::u16string value = StoredText(settings, index);
        // A later setting at its default is not written while the store lacks it.
        const bool unwritten = index >= firstReleaseSettingCount && store[name] == u"<absent>" &&
                               value == StoredText(defaults, index);
        if (store[name] != value && !unwritten)
            Fail(invSaved, Format("%s is \"%s\" in memory but \"%s\" in the store at %s",
                                  Narrow(name).c_str(), Narrow(value).c_str(),
                                  Narrow(store[name]).c_str(), At(SimNow()).c_str()));
    }
    soak.s.store = store;
}

void CheckNotSaved()
{
    std::map<std::u16string, std::u16string> store = ReadStore();
    for (const auto& [name, value] : store) {
        if (soak.s.store[name] != value)
            Fail(invNotSaved, Format("%s became \"%s\" (was \"%s\") though the save failed at %s",
                                     Narrow(name).c_str(), Narrow(value).c_str(),
                                     Narrow(soak.s.store[name]).c_str(), At(SimNow()).c_str()));
    }
}

// ---- The event log -----------------------------------------------------------

bool StartsWith(const std::string& text, const char* start)
{
    return text.rfind(start, 0) == 0;
}

} // namespace

void OnEvent(const SimEvent& event)
{
    Session& s = soak.s;
    const std::string& text = event.text;
    if (text == "monitoring on") {
        s.monitoringOn = true;
        s.watchFromTick = s.ticks;
        s.runCalls = 0;
        s.heldBackTold = false;
        // Start ends a pause that runs, not one still to be armed.
        if (s.restartTick < 0)
            s.nextCallTick = 0;
    } else if (text == "monitoring off") {
        s.monitoringOn = false;
        s.roundIndex = -1; // Stop ends the round
    } else if (StartsWith(text, "call requested: ")) {
        ++s.requestLines;
    } else if (StartsWith(text, "call limit reached (") || StartsWith(text, "call not placed: ")) {
        s.heldBackTold = true;
    } else if (text == "settings saved") {
        ++soak.result->saves;
        CheckSaved();
    } else if (StartsWith(text, "settings not saved")) {
        ++soak.result->failedSaves;
        CheckNotSaved();
    } else if (StartsWith(text, "message (microphone silent) ")) {
        s.silentToldAt = event.time;
    } else if (StartsWith(text, "microphone ")) {
        s.microphoneLine = text;
    } else if (text == "program ended") {
        s.endedAt = event.time;
    }
}

namespace {

bool IsCallLine(const std::string& text)
{
    return StartsWith(text, "call requested: ") || StartsWith(text, "call placed: ") ||
           StartsWith(text, "call answered: ") || StartsWith(text, "call ended: ") ||
           StartsWith(text, "call not answered: ") || StartsWith(text, "call failed: ") ||
           StartsWith(text, "call only logged, not placed: ");
}

// Every request and every piece of news before the exit has its line, at
// its time, and there is no other call line.
void CheckCallLog()
{
    std::vector<SimCall> calls = SimCalls();
    std::map<LONG, std::string> numbers;
    std::vector<std::pair<SimTime, std::string>> expected, logged;
    SimTime end = soak.s.endedAt >= 0 ? soak.s.endedAt : SimNow();
    for (const SimCall& call : calls) {
        numbers[call.id] = Narrow(call.number);
        expected.emplace_back(call.time, "call requested: " + numbers[call.id]);
    }
    std::set<LONG> answered;
    for (const SimCallNews& news : SimPhoneNews()) {
        if (news.time >= end)
            continue; // the window may be gone by then
        std::string reason = news.reason.empty() ? "no reason given" : Narrow(news.reason);
        const std::string& number = numbers[news.id];
        switch (news.event) {
        case PHONE_EVENT_PLACED:
            expected.emplace_back(news.time, "call placed: " + number);
            break;
        case PHONE_EVENT_ANSWERED:
            answered.insert(news.id);
            expected.emplace_back(news.time, "call answered: " + number);
            break;
        case PHONE_EVENT_ENDED:
            expected.emplace_back(
                news.time, (answered.count(news.id) != 0 ? "call ended: " : "call not answered: ") +
                               number + (news.reason.empty() ? "" : ": " + reason));
            break;
        case PHONE_EVENT_FAILED:
            expected.emplace_back(news.time, "call failed: " + number + ": " + reason);
            break;
        default:
            expected.emplace_back(news.time,
                                  "call only logged, not placed: " + number + ": " + reason);
            break;
        }
    }
    for (const SimEvent& event : SimEventLog()) {
        if (IsCallLine(event.text) &&
            !(event.time >= end && !StartsWith(event.text, "call requested")))
            logged.emplace_back(event.time, event.text);
    }
    std::sort(expected.begin(), expected.end());
    std::sort(logged.begin(), logged.end());
    if (expected == logged)
        return;
    auto [e, l] = std::mismatch(expected.begin(), expected.end(), logged.begin(), logged.end());
    if (e != expected.end())
        Fail(invLog, Format("the phone reported \"%s\" at %s; the log has %s", e->second.c_str(),
                            At(e->first).c_str(),
                            l != logged.end() ? ("\"" + l->second + "\" at " + At(l->first)).c_str()
                                              : "nothing more"));
    else
        Fail(invLog, Format("the log has \"%s\" at %s, which no request or news explains",
                            l->second.c_str(), At(l->first).c_str()));
}

// The time of the call's last news; -1 while it has none.
SimTime CallOverAt(LONG id)
{
    for (const SimCallNews& news : SimPhoneNews()) {
        if (news.id == id && news.event != PHONE_EVENT_PLACED)
            return news.time;
    }
    return -1;
}

// Whether the call's news says somebody took it, or that it was only logged.
bool CallNews(LONG id, DWORD event)
{
    for (const SimCallNews& news : SimPhoneNews()) {
        if (news.id == id && news.event == event)
            return true;
    }
    return false;
}

// The index of the round's number after `index` that a call would dial
// now; -1 when none is left.
int NextRoundIndex(int index)
{
    const CallNumberField fields[roundNumberCount] = {
        &SettingsRecord::PhoneNumber, &SettingsRecord::PhoneNumber2, &SettingsRecord::PhoneNumber3};
    for (int next = index + 1; next < roundNumberCount; ++next) {
        if (IsCallNumber(settings.*fields[next]))
            return next;
    }
    return -1;
}

// A call after one of the same round that nobody heard (not answered, or
// failed) and that was not only logged goes on with the round's next
// number, and counts for nothing.
bool ContinuesRound(const std::vector<SimCall>& calls, std::size_t i, const std::string& what)
{
    Session& s = soak.s;
    const LONG before = i > 0 ? calls[i - 1].id : 0;
    const bool heard =
        CallNews(before, PHONE_EVENT_ANSWERED) && CallNews(before, PHONE_EVENT_ENDED);
    if (i == 0 || s.roundIndex < 0 || heard || CallNews(before, PHONE_EVENT_LOGGED))
        return false;
    const int next = NextRoundIndex(s.roundIndex);
    if (next < 0)
        return false;
    WCHAR expected[settingValueUnits];
    FormatSettingValue(settings, FindSettingIndex(next == 1 ? u"PhoneNumber2" : u"PhoneNumber3"),
                       expected);
    if (calls[i].number != std::u16string(expected))
        Fail(invRound, what + ": the round's next number is " + Narrow(expected));
    s.roundIndex = next;
    return true;
}

void CheckNewCall(const std::vector<SimCall>& calls, std::size_t i, SimTime now)
{
    Session& s = soak.s;
    const SimCall& call = calls[i];
    ++soak.result->calls;
    std::string what =
        Format("call %zu to %s at %s", i + 1, Narrow(call.number).c_str(), At(call.time).c_str());
    if (call.time != now || !s.monitoringOn)
        Fail(invTickCalls, what + (call.time != now ? ": not on a tick" : ": monitoring is off"));
    if (i > 0) {
        SimTime over = CallOverAt(calls[i - 1].id);
        if (over < 0 || over > now)
            Fail(invActive, what + ": call " + std::to_string(i) + " from " +
                                At(calls[i - 1].time) + " is not over");
    }
    // A round's first call keeps every rule a call had before rounds.
    if (!ContinuesRound(calls, i, what)) {
        s.roundIndex = 0;
        if (call.number != std::u16string(settings.PhoneNumber))
            Fail(invRound,
                 what + ": a round begins at PhoneNumber " + Narrow(settings.PhoneNumber));
        if (s.restartTick >= 0)
            Fail(invDelay, what + ": capture has not restarted since the call at " +
                               At(s.callTick * tickUnits));
        else if (s.ticks < s.nextCallTick)
            Fail(invDelay, what + Format(": %.1f s before the pause after the call at %s ran out",
                                         Seconds((s.nextCallTick - s.ticks) * tickUnits),
                                         At(s.callTick * tickUnits).c_str()));
        if (s.runCalls + 1 > settings.PhoneMaxCalls)
            Fail(invMaxCalls, what + Format(": call %ld of this run, PhoneMaxCalls %d",
                                            s.runCalls + 1, settings.PhoneMaxCalls));
        ++s.runCalls;
    }
    s.callTick = s.ticks;
    s.restartTick = s.ticks + restartTicks;
    s.disturbed = std::max(s.disturbed, now);
    if (!s.outcomes.empty()) {
        QueuedOutcome outcome = s.outcomes.front();
        s.outcomes.pop_front();
        ++soak.result->injected[outcome.kind];
        if (outcome.hangUpAfter > 0) {
            LONG id = call.id;
            SimAt(now + outcome.hangUpAfter, [id] { SimHangUp(id); });
        }
    }
    QueueOutcome();
}

void CheckCalls(SimTime now)
{
    Session& s = soak.s;
    // The restart after a call arms the pause with the PhoneDelay of the
    // moment (minutes; none when 0 or less).
    if (s.restartTick == s.ticks) {
        std::int64_t delay = settings.PhoneDelay;
        s.nextCallTick = s.ticks + (delay > 0 ? delay * 60 * ticksPerSecond : 0);
        s.restartTick = -1;
    }
    std::size_t count = SimCallCount();
    if (count > s.callsSeen) {
        std::vector<SimCall> calls = SimCalls();
        for (std::size_t i = s.callsSeen; i < count && !soak.failed; ++i)
            CheckNewCall(calls, i, now);
        s.callsSeen = count;
    }
    if (s.restartTick >= 0 && (capture.level.load() != 0.0 || SimWaveIsOpen()))
        Fail(invQuiet, Format("level %.3f, device %s at %s after the call at %s",
                              capture.level.load(), SimWaveIsOpen() ? "open" : "closed",
                              At(now).c_str(), At(s.callTick * tickUnits).c_str()));
    // The meter at its limit, nothing to wait for, and still no call (the
    // call resets the meter): the program must have said why.
    if (monitor.monitoring == 1 && monitor.cryMeter >= limits.cryLimit &&
        monitor.delaySeconds <= 0 && monitor.callPending == 0 && !CallInProgress() &&
        !s.heldBackTold)
        Fail(invHeldBack, Format("at %s the cry meter is at its limit, no call was placed and "
                                 "the log does not say why (%ld calls this run, PhoneMaxCalls %d)",
                                 At(now).c_str(), s.runCalls, settings.PhoneMaxCalls));
    if (s.requestLines != static_cast<long>(count))
        Fail(invLog, Format("%ld \"call requested\" lines for %zu requests at %s", s.requestLines,
                            count, At(now).c_str()));
}

// ---- Capture, heap, meter, clock, drawing --------------------------------------

void CheckPlatform()
{
    if (SimFaults() == 0)
        return;
    std::string fault = SimLastFault();
    bool buffer = fault.find("block") != std::string::npos ||
                  fault.find("buffer") != std::string::npos ||
                  fault.find("header") != std::string::npos;
    Fail(buffer ? invBuffers : invPlatform, fault + " by " + At(SimNow()));
}

long FilledSlots()
{
    return (capture.bufferSlot[0] != nullptr ? 1 : 0) + (capture.bufferSlot[1] != nullptr ? 1 : 0);
}

void CheckHeap(SimTime now)
{
    long live = SimHeapLiveBlocks();
    if (live > heapBlocksMost)
        Fail(invHeap, Format("%ld blocks outstanding at %s", live, At(now).c_str()));
    if (live != 2 * FilledSlots())
        Fail(invBuffers,
             Format("%ld heap blocks outstanding at %s, but the engine holds %ld buffers", live,
                    At(now).c_str(), FilledSlots()));
}

void NoteFiredFaults(SimTime now)
{
    Session& s = soak.s;
    std::erase_if(s.armed, [&](const ArmedFault& fault) {
        long count = fault.heap ? SimHeapAllocations() : SimWaveCalls(fault.op);
        if (count < fault.target)
            return false;
        s.disturbed = std::max(s.disturbed, now);
        return true;
    });
}

void CheckCapture(SimTime now)
{
    Session& s = soak.s;
    long full = SimWaveFullBuffersReturned();
    if (full != s.fullSeen) {
        soak.result->buffers += full - s.fullSeen;
        s.fullSeen = full;
        s.lastFullTick = s.ticks;
    }
    if (now < s.disturbed + restartTicks * tickUnits)
        return;
    bool running = capture.waveIn != nullptr && FilledSlots() == 2 && SimWaveIsOpen() &&
                   SimWaveQueued() == 2 && MicrophoneStatus() == MICROPHONE_LISTENING;
    if (!running)
        Fail(invRecover,
             Format("at %s, %.1f s after the last disturbance: device %s, %d buffers "
                    "queued, %ld slots filled",
                    At(now).c_str(), Seconds(now - s.disturbed),
                    SimWaveIsOpen() ? "open" : "closed", SimWaveQueued(), FilledSlots()));
    else if (s.ticks - s.lastFullTick > flowTicksMost &&
             now >= s.disturbed + (restartTicks + flowTicksMost) * tickUnits)
        Fail(invRecover, Format("at %s no full buffer came back for %ld ticks", At(now).c_str(),
                                s.ticks - s.lastFullTick));
}

void CheckMeter(SimTime now)
{
    double level = capture.level.load();
    if (!(monitor.cryMeter >= 0.0 && monitor.cryMeter <= 1.0 && level >= 0.0 && level <= 1.0))
        Fail(invMeter, Format("cry meter %.17g, level %.17g at %s", monitor.cryMeter, level,
                              At(now).c_str()));
    bool loud = level >= limits.volLimit && (limits.cryCheck.load() != 1 || capture.likeCry == 1);
    if (monitor.cryMeter > soak.s.meter && !loud)
        Fail(invLoud, Format("cry meter %.3f after %.3f, level %.3f (line %.3f), CryCheck %d, "
                             "cry-like %d at %s",
                             monitor.cryMeter, soak.s.meter, level, limits.volLimit,
                             limits.cryCheck.load(), capture.likeCry.load(), At(now).c_str()));
    soak.s.meter = monitor.cryMeter;
}

void CheckClock(SimTime now)
{
    Session& s = soak.s;
    if (monitor.tickCount < 0 || monitor.tickCount >= restartTicks)
        Fail(invTicks, Format("tickCount %d at %s", monitor.tickCount, At(now).c_str()));
    if (now - s.localChanged > clockTicksMost * tickUnits &&
        (monitor.clockHour != s.hour || monitor.clockMinute != s.minute))
        Fail(invClock, Format("the screen shows %02d:%02d at %s, local time is %02d:%02d since %s",
                              monitor.clockHour, monitor.clockMinute, At(now).c_str(), s.hour,
                              s.minute, At(s.localChanged).c_str()));
}

// The log tells the state of the microphone after every start.
void CheckMicrophoneLog(SimTime now)
{
    const std::string& line = soak.s.microphoneLine;
    bool told = MicrophoneStatus() == MICROPHONE_LISTENING
                    ? line == "microphone opened" || line == "microphone recovered"
                    : StartsWith(line, "microphone failed: ");
    if (!told)
        Fail(invMicLog, Format("the microphone is %s at %s, the log's last word on it is \"%s\"",
                               MicrophoneStatus() == MICROPHONE_LISTENING ? "listening" : "down",
                               At(now).c_str(), line.c_str()));
}

// "Stop" ("Stopp" in German) while monitoring is on, else "Start". The
// language may lag behind a switch while a box holds the new bar back; the
// meaning may not.
void CheckButton(SimTime now)
{
    std::vector<SimMenuButton> buttons = SimMenuBarButtons(SimMainWindow());
    std::u16string shown = buttons.empty() ? u"<no button>" : buttons[0].text;
    bool right =
        monitor.monitoring == 0 ? shown == u"Start" : shown == u"Stop" || shown == u"Stopp";
    if (!right)
        Fail(invButton,
             Format("it reads \"%s\" at %s while monitoring is %s", Narrow(shown).c_str(),
                    At(now).c_str(), monitor.monitoring == 0 ? "off" : "on"));
}

// Counted from the last full buffer, the last Start, and the restart after
// the last call (a call holds the count); two seconds' grace.
void CheckSilenceTold(SimTime now)
{
    const Session& s = soak.s;
    if (!s.monitoringOn)
        return;
    long from = std::max(s.lastFullTick, s.watchFromTick);
    if (s.callTick >= 0)
        from = std::max(from, s.callTick + 2 * restartTicks);
    if (s.ticks - from <= (microphoneSilentSeconds + 2) * ticksPerSecond)
        return;
    const SimTime silentSince = from * tickUnits;
    const bool toldSince = s.silentToldAt >= silentSince;
    const bool heldBack =
        s.silentToldAt >= 0 && now - s.silentToldAt < (messageKindSeconds + 2) * second;
    if (!toldSince && !heldBack)
        Fail(invSilentTold,
             Format("no full buffer since %s, %.1f s, and no message by %s",
                    At(silentSince).c_str(), Seconds(now - silentSince), At(now).c_str()));
}

void CheckDrawing(SimTime now)
{
    long pens = SimGdiLive(SimGdiKind::Pen);
    long brushes = SimGdiLive(SimGdiKind::Brush);
    long dcs = SimGdiLive(SimGdiKind::DC);
    if (pens != 0 || brushes != 0 || dcs != 0)
        Fail(invDrawing, Format("%ld pens, %ld brushes, %ld device contexts live at %s", pens,
                                brushes, dcs, At(now).c_str()));
}

// Dark after a minute untouched while monitoring (DimScreen on), bright
// otherwise; a tick either way of the minute is the shell's to choose.
void CheckDark(SimTime now)
{
    Session& s = soak.s;
    LASTINPUTINFO input{sizeof input, 0};
    GetLastInputInfo(&input);
    if (input.dwTime != s.lastInput) {
        s.lastInput = input.dwTime;
        s.inputAt = now;
    }
    const bool dark = SimWindowDimmed(SimMainWindow());
    const bool may = settings.DimScreen != 0 && monitor.monitoring == 1;
    const SimTime untouched = now - s.inputAt;
    if (dark && (!may || untouched < 59 * simUnitsPerSecond))
        Fail(invDark,
             Format("dark at %s with monitoring %s, DimScreen=%d, %.1f s untouched",
                    At(now).c_str(), monitor.monitoring == 1 ? "on" : "off", settings.DimScreen,
                    static_cast<double>(untouched) / simUnitsPerSecond));
    if (!dark && may && untouched > 61 * simUnitsPerSecond)
        Fail(invDark, Format("bright at %s after %.1f s untouched while monitoring",
                             At(now).c_str(), static_cast<double>(untouched) / simUnitsPerSecond));
}

void Progress(SimTime now)
{
    const SoakOptions& options = *soak.options;
    if (options.progressHours <= 0.0 || soak.offset + now < soak.nextProgress)
        return;
    const SoakResult& result = *soak.result;
    std::fprintf(stderr, "cradlecom-soak: %s: %ld sessions, %ld calls, %ld saves\n",
                 At(now).c_str(), result.sessions + 1, result.calls, result.saves);
    soak.nextProgress += static_cast<SimTime>(options.progressHours * hour);
}

} // namespace

// The open recording holds no more than the time since it began, and none
// is open after a tick of monitoring off.
void CheckNight(SimTime now)
{
    for (const SimNightRecording& night : SimNightRecordings()) {
        if (night.closed >= 0)
            continue;
        if (night.written > (now - night.opened) / simUnitsPerSample + 1)
            Fail(invNight,
                 Format("%lld samples at %s, begun at %s", static_cast<long long>(night.written),
                        At(now).c_str(), At(night.opened).c_str()));
        if (monitor.monitoring == 0)
            Fail(invNight, "a recording open at " + At(now) + " with monitoring off");
    }
}

void OnTick(HWND window, UINT_PTR id)
{
    if (window != SimMainWindow() || id != monitorTimerId || soak.failed)
        return;
    Session& s = soak.s;
    ++s.ticks;
    ++soak.result->ticks;
    SimTime now = SimNow();
    if (now != s.ticks * tickUnits)
        Fail(invTicks, Format("tick %ld came at %s, not at %s", s.ticks, At(now).c_str(),
                              At(s.ticks * tickUnits).c_str()));
    if (s.ticks == 1)
        s.store = ReadStore(); // as loading left it
    CheckPlatform();
    CheckHeap(now);
    NoteFiredFaults(now);
    CheckMeter(now);
    CheckClock(now);
    CheckCalls(now);
    CheckCapture(now);
    CheckMicrophoneLog(now);
    CheckButton(now);
    CheckSilenceTold(now);
    CheckDrawing(now);
    CheckNight(now);
    CheckDark(now);
    Progress(now);
    if (soak.options->afterTick && !soak.failed)
        soak.options->afterTick();
}

void CheckExit(int exitCode)
{
    SimTime now = SimNow();
    if (exitCode != 0)
        Fail(invExit, Format("WinMain returned %d at %s", exitCode, At(now).c_str()));
    if (soak.s.endedAt < 0)
        Fail(invExit, "the program did not log its end by " + At(now));
    CheckPlatform();
    long live = SimHeapLiveBlocks();
    if (live != 0)
        Fail(invBuffers,
             Format("%ld heap blocks still allocated after the exit at %s", live, At(now).c_str()));
    for (const SimNightRecording& night : SimNightRecordings()) {
        if (night.closed < 0)
            Fail(invExit, "a night recording still open after the exit at " + At(now));
    }
    if (SimWaveIsOpen())
        Fail(invExit, "the wave device is still open after the exit at " + At(now));
    if (SimRegistryOpenKeys() != 0)
        Fail(invExit, Format("%ld store keys still open after the exit", SimRegistryOpenKeys()));
    for (SimGdiKind kind :
         {SimGdiKind::Pen, SimGdiKind::Brush, SimGdiKind::DC, SimGdiKind::Bitmap}) {
        if (SimGdiLive(kind) != 0)
            Fail(invExit, Format("%ld drawing objects of kind %d still live after the exit",
                                 SimGdiLive(kind), static_cast<int>(kind)));
    }
    CheckCallLog();
}

} // namespace soakparts
