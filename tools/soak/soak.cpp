// SPDX-License-Identifier: GPL-3.0-or-later
// The soak: the program started again and again on the simulated platform,
// a user and a failing device played from one seed, and the program's
// promises checked after every tick.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <deque>
#include <map>

#include "alarm/monitor.h"
#include "audio/capture.h"
#include "platform/platform.h"
#include "platform/sim/sim_eventlog.h"
#include "platform/sim/sim_phone.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_window.h"
#include "settings/settings.h"
#include "shell/shell.h"
#include "soak.h"

namespace {

constexpr SimTime tickUnits = simUnitsPerSecond / 10;
constexpr SimTime second = simUnitsPerSecond;
constexpr SimTime minute = 60 * second;
constexpr SimTime hour = 60 * minute;
constexpr SimTime day = 24 * hour;
constexpr long restartTicks = 100;
// Two queued capture buffers and the one being measured, each a header and
// a data block.
constexpr long heapBlocksMost = 6;
// Between two full buffers of running capture: two buffer lengths (2048
// samples are 1.86 ticks) and the one a restart cuts short.
constexpr long flowTicksMost = 6;
// The clock fields follow local time at the next once-a-second step, and a
// call starts the second anew.
constexpr long clockTicksMost = 20;

const char* const invTicks = "ticks: the 100 ms tick neither skips nor drifts";
const char* const invPlatform = "platform: no fault seen by the simulated platform";
const char* const invBuffers =
    "capture buffers: every buffer allocated is released exactly once, none queued twice";
const char* const invHeap = "heap: outstanding blocks stay bounded";
const char* const invRecover =
    "capture: runs again within one restart period after the device recovers";
const char* const invMeter = "cry meter: level and meter within [0, 1]";
const char* const invTickCalls = "calls: only from the monitoring tick, only while monitoring";
const char* const invDelay = "calls: none while the delay runs";
const char* const invMaxCalls = "calls: none beyond PhoneMaxCalls per monitoring run";
const char* const invActive = "calls: none while a previous call is in progress";
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
const char* const invDrawing = "drawing: no pen, brush or device context outlives its drawing";

const std::u16string settingsKey = settingsKeyPath;

// Every value of the settings' key: each setting's and the first-use marker.
std::vector<std::u16string> StoredNames()
{
    std::vector<std::u16string> names;
    for (const StoredSetting& setting : storedSettings)
        names.push_back(setting.name);
    names.push_back(firstUseValueName);
    return names;
}

const char* const faultNames[faultKinds] = {"device refuses open",
                                            "device refuses prepare",
                                            "device refuses queue",
                                            "device refuses start",
                                            "short buffer",
                                            "stalled device thread",
                                            "heap failure",
                                            "store cannot be opened",
                                            "store commit fails",
                                            "call placed",
                                            "call active for minutes",
                                            "call failed",
                                            "call only logged",
                                            "Start/Stop pressed",
                                            "microphone dialog",
                                            "phone dialog",
                                            "contact dialog",
                                            "language dialog",
                                            "exit refused",
                                            "exit and restart"};

// A fault armed at the device or the heap: it fires when the counter of its
// operation reaches `target`.
struct ArmedFault {
    bool heap;
    SimWaveOp op;
    long target;
};

// A call outcome queued at the phone, in the order the calls will take them.
struct QueuedOutcome {
    int kind;
    SimTime hangUpAfter; // from the request; 0: the call ends by itself
};

enum DialogEnding { END_OK, END_CANCEL, END_BACK, END_CLOSE };

// One program run, from start to exit. Soak time = `offset` + SimNow().
struct Session {
    long ticks = 0;
    SimTime disturbed = 0; // capture may rightly be down until a restart period after this
    std::vector<ArmedFault> armed;
    long fullSeen = 0;
    long lastFullTick = 0;
    // The rules of calling, as the log and the phone show them.
    bool monitoringOn = false;
    long runCalls = 0;     // calls since the last "monitoring on"
    long callTick = -1;    // tick of the last call
    long restartTick = -1; // the capture restart after it, while still to come
    long nextCallTick = 0; // the first tick a call may come on
    std::size_t callsSeen = 0;
    long requestLines = 0;     // "call requested" lines in the log
    bool heldBackTold = false; // since "monitoring on", the log said why a call was not placed
    std::deque<QueuedOutcome> outcomes;
    // Local time as the soak set it.
    int hour = 0;
    int minute = 0;
    SimTime localChanged = 0;
    // The user.
    bool exitYes = false; // the next exit question is answered Yes
    bool forceOk = false; // the next dialog ends with OK: a store fault waits for its save
    bool disarmCreate = false;
    bool boxOpen = false; // a message box is open: nothing else can be pressed
    std::map<std::u16string, std::u16string> store; // as the last save (or the start) left it
    SimTime endedAt = -1;                           // "program ended"
    std::string microphoneLine;                     // the last "microphone ..." line
};

struct Soak {
    const SoakOptions* options = nullptr;
    SoakResult* result = nullptr;
    std::mt19937_64 random;
    SimTime offset = 0;
    SimTime nextProgress = 0;
    bool drawing = false;
    bool failed = false;
    Session s;
};

Soak soak;

std::string Narrow(const std::u16string& text)
{
    std::string narrow;
    for (char16_t unit : text)
        narrow.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    return narrow;
}

double Seconds(SimTime units)
{
    return static_cast<double>(units) / simUnitsPerSecond;
}

std::string At(SimTime sessionTime)
{
    return SoakClock(Seconds(soak.offset + sessionTime));
}

std::string Format(const char* format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

// The first failure ends the soak; the run ends at once.
void Fail(const char* invariant, const std::string& detail)
{
    if (soak.failed)
        return;
    soak.failed = true;
    SoakResult& result = *soak.result;
    result.passed = false;
    result.invariant = invariant;
    result.detail = detail;
    result.failedAt = Seconds(soak.offset + SimNow());
    SimSetEndTime(SimNow());
}

std::int64_t DrawUnits(SimTime low, SimTime high)
{
    return Draw(soak.random, low, high);
}

template <typename T, std::size_t n> const T& Pick(const T (&choices)[n])
{
    return choices[Draw(soak.random, 0, static_cast<std::int64_t>(n) - 1)];
}

// ---- The store -------------------------------------------------------------

std::map<std::u16string, std::u16string> ReadStore()
{
    std::map<std::u16string, std::u16string> values;
    for (const std::u16string& name : StoredNames()) {
        std::vector<BYTE> bytes;
        DWORD type = REG_NONE;
        if (!SimRegistryGetValue(settingsKey, name, &type, &bytes)) {
            values[name] = u"<absent>";
            continue;
        }
        std::u16string text;
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
            auto unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
            if (unit == 0)
                break;
            text.push_back(unit);
        }
        values[name] = text;
    }
    return values;
}

// Setting `index` of `record` as a save stores it.
std::u16string StoredText(const SettingsRecord& record, int index)
{
    WCHAR text[settingValueUnits];
    FormatSettingValue(record, index, text);
    return text;
}

void CheckSaved()
{
    std::map<std::u16string, std::u16string> store = ReadStore();
    for (int index = 0; index < settingNameCount; ++index) {
        const std::u16string name = storedSettings[index].name;
        const std::u16string value = StoredText(settings, index);
        if (store[name] != value)
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

void OnEvent(const SimEvent& event)
{
    Session& s = soak.s;
    const std::string& text = event.text;
    if (text == "monitoring on") {
        s.monitoringOn = true;
        s.runCalls = 0;
        s.heldBackTold = false;
        // Start ends a pause that runs, not one still to be armed.
        if (s.restartTick < 0)
            s.nextCallTick = 0;
    } else if (text == "monitoring off") {
        s.monitoringOn = false;
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
    } else if (StartsWith(text, "microphone ")) {
        s.microphoneLine = text;
    } else if (text == "program ended") {
        s.endedAt = event.time;
    }
}

bool IsCallLine(const std::string& text)
{
    return StartsWith(text, "call requested: ") || StartsWith(text, "call placed: ") ||
           StartsWith(text, "call ended: ") || StartsWith(text, "call failed: ") ||
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
    for (const SimCallNews& news : SimPhoneNews()) {
        if (news.time >= end)
            continue; // the window may be gone by then
        std::string reason = news.reason.empty() ? "no reason given" : Narrow(news.reason);
        const std::string& number = numbers[news.id];
        switch (news.event) {
        case PHONE_EVENT_PLACED:
            expected.emplace_back(news.time, "call placed: " + number);
            break;
        case PHONE_EVENT_ENDED:
            expected.emplace_back(news.time, "call ended: " + number +
                                                 (news.reason.empty() ? "" : ": " + reason));
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

// ---- Local time ----------------------------------------------------------------

void SetLocalTime(SimTime sessionTime)
{
    SimTime soakTime = soak.offset + sessionTime;
    SimTime minutes = soakTime / minute;
    soak.s.hour = static_cast<int>(minutes / 60 % 24);
    soak.s.minute = static_cast<int>(minutes % 60);
    soak.s.localChanged = sessionTime;
    SimSetLocalTime(soak.s.hour, soak.s.minute);
    SimAt((minutes + 1) * minute - soak.offset, [] { SetLocalTime(SimNow()); });
}

// ---- Calls ---------------------------------------------------------------------------

void QueueOutcome()
{
    static const int kinds[] = {FAULT_CALL_PLACED, FAULT_CALL_PLACED, FAULT_CALL_PLACED,
                                FAULT_CALL_PLACED, FAULT_CALL_PLACED, FAULT_CALL_LONG,
                                FAULT_CALL_LONG,   FAULT_CALL_FAILED, FAULT_CALL_FAILED,
                                FAULT_CALL_LOGGED};
    static const char16_t* const reasons[] = {u"no modem", u"busy", u"exit status 3", u"no answer",
                                              u""};
    int kind = Pick(kinds);
    SimCallOutcome outcome;
    SimTime hangUpAfter = 0;
    switch (kind) {
    case FAULT_CALL_PLACED:
        outcome.after = DrawUnits(0, 15 * second);
        outcome.activeFor = DrawUnits(0, 90 * second);
        break;
    case FAULT_CALL_LONG:
        outcome.after = DrawUnits(0, 20 * second);
        if (Draw(soak.random, 0, 1) == 0) {
            outcome.activeFor = DrawUnits(2 * minute, 15 * minute);
        } else {
            outcome.activeFor = simCallForever;
            hangUpAfter = outcome.after + DrawUnits(3 * minute, 20 * minute);
        }
        break;
    case FAULT_CALL_FAILED:
        outcome.result = SimCallResult::Failed;
        outcome.after = DrawUnits(0, 60 * second);
        outcome.reason = Pick(reasons);
        break;
    default:
        outcome.result = SimCallResult::Logged;
        outcome.after = DrawUnits(0, 2 * second);
        outcome.reason = u"no voice modem";
        break;
    }
    SimQueueCallOutcome(outcome);
    soak.s.outcomes.push_back(QueuedOutcome{kind, hangUpAfter});
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
    if (s.restartTick >= 0)
        Fail(invDelay,
             what + ": capture has not restarted since the call at " + At(s.callTick * tickUnits));
    else if (s.ticks < s.nextCallTick)
        Fail(invDelay, what + Format(": %.1f s before the pause after the call at %s ran out",
                                     Seconds((s.nextCallTick - s.ticks) * tickUnits),
                                     At(s.callTick * tickUnits).c_str()));
    if (s.runCalls + 1 > settings.PhoneMaxCalls)
        Fail(invMaxCalls, what + Format(": call %ld of this run, PhoneMaxCalls %d", s.runCalls + 1,
                                        settings.PhoneMaxCalls));
    ++s.runCalls;
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
        s.nextCallTick = s.ticks + (delay > 0 ? delay * 60 * 10 : 0);
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

void CheckDrawing(SimTime now)
{
    long pens = SimGdiLive(SimGdiKind::Pen);
    long brushes = SimGdiLive(SimGdiKind::Brush);
    long dcs = SimGdiLive(SimGdiKind::DC);
    if (pens != 0 || brushes != 0 || dcs != 0)
        Fail(invDrawing, Format("%ld pens, %ld brushes, %ld device contexts live at %s", pens,
                                brushes, dcs, At(now).c_str()));
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

void OnTick(HWND window, UINT_PTR id)
{
    if (window != SimMainWindow() || id != 100 || soak.failed)
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
    CheckDrawing(now);
    Progress(now);
}

// ---- The user -------------------------------------------------------------------

void EndDialogAs(HWND dialog, DialogEnding ending, int attempt);

void ScheduleEnding(HWND dialog, DialogEnding ending, int attempt, SimTime after)
{
    SimAt(SimNow() + after, [dialog, ending, attempt] { EndDialogAs(dialog, ending, attempt); });
}

// Leaves the dialog as a user would. A dialog still open afterwards (Back
// goes to the focused box; OK refuses a bad number) is tried again: Cancel,
// then the close button.
void EndDialogAs(HWND dialog, DialogEnding ending, int attempt)
{
    if (SimDialogOpen() != dialog)
        return;
    if (soak.s.boxOpen) {
        ScheduleEnding(dialog, ending, attempt, second);
        return;
    }
    switch (ending) {
    case END_OK:
        if (!SimPressDialogMenuBarButton(dialog, 1))
            SimDialogClose(dialog);
        break;
    case END_CANCEL:
        if (!SimPressDialogMenuBarButton(dialog, 0))
            SimDialogClose(dialog);
        break;
    case END_BACK:
        SimDialogPressEscape(dialog);
        break;
    case END_CLOSE:
        SimDialogClose(dialog);
        break;
    }
    if (SimDialogOpen() == dialog) {
        ScheduleEnding(dialog, attempt == 0 && ending != END_BACK ? END_CANCEL : END_CLOSE,
                       attempt + 1, DrawUnits(second / 2, 3 * second));
        return;
    }
    if (soak.s.disarmCreate) {
        // After the save that the OK started.
        soak.s.disarmCreate = false;
        SimAt(SimNow() + 1, [] { SimRegistryFailCreate(false); });
    }
}

void DialogStep(HWND dialog, UINT templateId)
{
    static const char16_t* const numbers[] = {u"+49 170 1234567",
                                              u"+49 170 1234567",
                                              u"+49 170 1234567",
                                              u"0171 2345",
                                              u"0171 2345",
                                              u"110",
                                              u"(030) 123-456",
                                              u"",
                                              u"abc",
                                              u"0123456789012345678901234"};
    static const char16_t* const delays[] = {u"0", u"1", u"1", u"2", u"3", u"", u"5"};
    static const char16_t* const maxima[] = {u"0", u"1", u"2", u"3", u"5", u"8", u""};
    switch (templateId) {
    case 113: {
        // A row's button towards a value the user has in mind.
        int row = static_cast<int>(Draw(soak.random, 0, 2));
        std::int32_t values[] = {settings.VolSensi, settings.VolThresh, settings.CryThresh};
        bool up = values[row] < Draw(soak.random, 15, 85);
        SimDialogPush(dialog, 200 + 20 * row + (up ? 10 : 0));
        break;
    }
    case 114: {
        int box = static_cast<int>(Draw(soak.random, 0, 2));
        const char16_t* text = box == 0 ? Pick(numbers) : box == 1 ? Pick(delays) : Pick(maxima);
        SimDialogType(dialog, 100 + 10 * box, text);
        break;
    }
    case 116:
        SimDialogClickRadio(dialog, 100 + static_cast<int>(Draw(soak.random, 0, 1)));
        break;
    default:
        break;
    }
}

void UseDialog(HWND dialog)
{
    static const DialogEnding endings[] = {END_OK,     END_OK,   END_OK,   END_OK,   END_CANCEL,
                                           END_CANCEL, END_BACK, END_BACK, END_CLOSE};
    UINT templateId = SimDialogTemplateId(dialog);
    DialogEnding ending = soak.s.forceOk ? END_OK : Pick(endings);
    soak.s.forceOk = false;
    long steps = templateId == 115 ? 0 : Draw(soak.random, 0, 4);
    SimTime at = SimNow();
    for (long i = 0; i < steps; ++i) {
        at += DrawUnits(second / 4, 5 * second);
        SimAt(at, [dialog, templateId] {
            if (SimDialogOpen() == dialog && !soak.s.boxOpen)
                DialogStep(dialog, templateId);
        });
    }
    at += DrawUnits(second / 4, 5 * second);
    SimAt(at, [dialog, ending] { EndDialogAs(dialog, ending, 0); });
}

// The user reads a box for a while before answering; the program's timer
// goes on meanwhile.
int AnswerBox(const SimMessageBox& box)
{
    Session& s = soak.s;
    SimTime until = std::min(SimNow() + DrawUnits(0, 20 * second), SimEndTime() - 1);
    if (!s.boxOpen && until > SimNow() && !soak.failed) {
        s.boxOpen = true;
        SimPumpMessages(until);
        s.boxOpen = false;
    }
    if ((box.type & 0x0F) == MB_YESNO)
        return s.exitYes ? IDYES : IDNO;
    return IDOK;
}

// ---- Faults ------------------------------------------------------------------------

void ArmWave(SimWaveOp op)
{
    int n = static_cast<int>(Draw(soak.random, 1, 3));
    soak.s.armed.push_back(ArmedFault{false, op, SimWaveCalls(op) + n});
    SimWaveFailNth(op, n);
}

void OpenSettingsDialogForSave()
{
    soak.s.forceOk = true;
    SimChooseMenuCommand(SimMainWindow(), Draw(soak.random, 0, 1) == 0 ? 200 : 300);
}

void Inject(int kind)
{
    Session& s = soak.s;
    HWND window = SimMainWindow();
    SimTime now = SimNow();
    switch (kind) {
    case FAULT_WAVE_OPEN:
        ArmWave(SimWaveOp::Open);
        break;
    case FAULT_WAVE_PREPARE:
        ArmWave(SimWaveOp::Prepare);
        break;
    case FAULT_WAVE_ADD:
        ArmWave(SimWaveOp::Add);
        break;
    case FAULT_WAVE_START:
        ArmWave(SimWaveOp::Start);
        break;
    case FAULT_SHORT_BUFFER:
        SimWaveShortNext(static_cast<int>(Draw(soak.random, 1, 2047)));
        s.disturbed = std::max(s.disturbed, now);
        break;
    case FAULT_STALL: {
        SimTime until = now + DrawUnits(second / 5, 40 * second);
        SimWaveStall(until);
        s.disturbed = std::max(s.disturbed, until);
        break;
    }
    case FAULT_HEAP: {
        int n = static_cast<int>(Draw(soak.random, 1, 8));
        s.armed.push_back(ArmedFault{true, SimWaveOp::Open, SimHeapAllocations() + n});
        SimHeapFailNth(n);
        break;
    }
    case FAULT_STORE_CREATE:
        SimRegistryFailCreate(true);
        s.disarmCreate = true;
        OpenSettingsDialogForSave();
        break;
    case FAULT_STORE_COMMIT: {
        static const LONG codes[] = {ERROR_DISK_FULL, ERROR_ACCESS_DENIED, ERROR_WRITE_PROTECT,
                                     ERROR_WRITE_FAULT};
        SimRegistryFailCommit(Pick(codes));
        OpenSettingsDialogForSave();
        break;
    }
    case FAULT_START_STOP:
        SimPressMenuBarButton(window, 0);
        break;
    case FAULT_MIC_DIALOG:
        SimChooseMenuCommand(window, 200);
        break;
    case FAULT_PHONE_DIALOG:
        SimChooseMenuCommand(window, 300);
        break;
    case FAULT_CONTACT_DIALOG:
        SimChooseMenuCommand(window, 400);
        break;
    case FAULT_LANGUAGE:
        SimChooseMenuCommand(window, 450);
        break;
    case FAULT_EXIT_REFUSED:
        s.exitYes = false;
        SimChooseMenuCommand(window, 900);
        break;
    case FAULT_RESTART:
        s.exitYes = true;
        SimChooseMenuCommand(window, 900);
        break;
    default:
        break;
    }
    ++soak.result->injected[kind];
}

// Weights of the faults the chaos picks from; the user's ones only while
// no dialog is open (nobody reaches the main window's menu then).
struct Weight {
    int kind;
    int weight;
    bool user;
};
const Weight weights[] = {{FAULT_WAVE_OPEN, 15, false},     {FAULT_WAVE_PREPARE, 15, false},
                          {FAULT_WAVE_ADD, 15, false},      {FAULT_WAVE_START, 15, false},
                          {FAULT_SHORT_BUFFER, 25, false},  {FAULT_STALL, 15, false},
                          {FAULT_HEAP, 25, false},          {FAULT_STORE_CREATE, 5, true},
                          {FAULT_STORE_COMMIT, 10, true},   {FAULT_START_STOP, 50, true},
                          {FAULT_MIC_DIALOG, 30, true},     {FAULT_PHONE_DIALOG, 25, true},
                          {FAULT_CONTACT_DIALOG, 10, true}, {FAULT_LANGUAGE, 15, true},
                          {FAULT_EXIT_REFUSED, 10, true},   {FAULT_RESTART, 2, true}};

void Chaos()
{
    if (soak.failed)
        return;
    bool user = SimDialogOpen() == nullptr && !soak.s.boxOpen && SimWindowAlive(SimMainWindow());
    int total = 0;
    for (const Weight& w : weights)
        total += w.user && !user ? 0 : w.weight;
    std::int64_t pick = Draw(soak.random, 0, total - 1);
    for (const Weight& w : weights) {
        if (w.user && !user)
            continue;
        if (pick < w.weight) {
            Inject(w.kind);
            break;
        }
        pick -= w.weight;
    }
    SimAt(SimNow() + DrawUnits(5 * second, 150 * second), Chaos);
}

// ---- Sessions ---------------------------------------------------------------------------

struct StoredValues {
    bool keyExists = false;
    std::map<std::u16string, std::pair<DWORD, std::vector<BYTE>>> values;
};

void FirstInstall(StoredValues* stored)
{
    // One start in four is a fresh install (no number: Start is refused
    // until the phone dialog sets one); otherwise the settings of an earlier
    // run, now and then without the first-use marker.
    if (Draw(soak.random, 0, 3) == 0)
        return;
    auto text = [](const std::u16string& value) {
        std::vector<BYTE> bytes;
        for (char16_t unit : value + u'\0') {
            bytes.push_back(static_cast<BYTE>(unit & 0xFF));
            bytes.push_back(static_cast<BYTE>(unit >> 8));
        }
        return std::make_pair(static_cast<DWORD>(REG_SZ), bytes);
    };
    stored->keyExists = true;
    SettingsRecord record{};
    SetDefaultSettings(&record);
    AssignSetting(&record, u"PhoneNumber=+49 170 1234567");
    record.PhoneMaxCalls = 5;
    record.Language = static_cast<std::int32_t>(Draw(soak.random, 0, 1));
    for (int index = 0; index < settingNameCount; ++index)
        stored->values[storedSettings[index].name] = text(StoredText(record, index));
    if (Draw(soak.random, 0, 3) != 0)
        stored->values[firstUseValueName] = text(u"1");
}

void RestoreStore(const StoredValues& stored)
{
    if (stored.keyExists)
        SimRegistryCreateKey(settingsKey);
    for (const auto& [name, value] : stored.values)
        SimRegistrySetValue(settingsKey, name, value.first, value.second);
}

void KeepStore(StoredValues* stored)
{
    stored->keyExists = SimRegistryKeyExists(settingsKey);
    stored->values.clear();
    for (const std::u16string& name : StoredNames()) {
        DWORD type = REG_NONE;
        std::vector<BYTE> bytes;
        if (SimRegistryGetValue(settingsKey, name, &type, &bytes))
            stored->values[name] = {type, bytes};
    }
}

void EndSession(int exitCode)
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

void RunSession(SoakInput* input, StoredValues* stored, SimTime length)
{
    SimReset();
    RestoreStore(*stored);
    soak.s = Session{};
    // A session in six draws, for at most an hour: the screen's pens,
    // brushes and device contexts are counted. The others run blind, some
    // thirty times as fast.
    soak.drawing = Draw(soak.random, 0, 5) == 0;
    if (soak.drawing)
        length = std::min(length, DrawUnits(15 * minute, hour));
    SimSetDrawing(soak.drawing);
    SimSetInputStream(
        [input](std::int16_t* samples, long count) { return input->Read(samples, count); });
    SimSetEndTime(length);
    SimEchoEventLog(soak.options->echoEvents);
    SimOnTimerHandled(OnTick);
    SimOnEventLogged(OnEvent);
    SimOnDialog(UseDialog);
    SimOnMessageBox(AnswerBox);
    SetLocalTime(0);
    soak.s.store = ReadStore();
    QueueOutcome();
    // Now and then the microphone cannot be opened at the very start.
    if (Draw(soak.random, 0, 7) == 0)
        Inject(FAULT_WAVE_OPEN);
    SimAt(DrawUnits(3 * second, 120 * second), Chaos);
    int exitCode = WinMain(SimInstance(), nullptr, nullptr, SW_SHOW);
    EndSession(exitCode);
    KeepStore(stored);
    ++soak.result->sessions;
}

} // namespace

const char* FaultName(int kind)
{
    return kind >= 0 && kind < faultKinds ? faultNames[kind] : "?";
}

std::string SoakClock(double seconds)
{
    auto tenths = static_cast<long long>(std::floor(seconds * 10.0));
    long long total = tenths / 10;
    return Format("day %lld %02lld:%02lld:%02lld.%lld", total / 86400 + 1, total / 3600 % 24,
                  total / 60 % 60, total % 60, tenths % 10);
}

std::string FailureLine(const SoakOptions& options, const SoakResult& result)
{
    double days = std::ceil(result.failedAt / 86400.0 * 1000.0) / 1000.0;
    return Format("seed %llu, %s (simulated second %.1f): %s: %s\n  replay with: cradlecom-soak "
                  "--seed %llu --days %g",
                  static_cast<unsigned long long>(options.seed), SoakClock(result.failedAt).c_str(),
                  result.failedAt, result.invariant.c_str(), result.detail.c_str(),
                  static_cast<unsigned long long>(options.seed), days);
}

SoakResult RunSoak(const SoakOptions& options, const SoakSounds& sounds)
{
    SoakResult result;
    soak = Soak{};
    soak.options = &options;
    soak.result = &result;
    soak.random.seed(options.seed);
    soak.nextProgress = static_cast<SimTime>(options.progressHours * hour);
    SoakInput input(sounds, options.seed ^ 0x9E3779B97F4A7C15ULL);
    StoredValues stored;
    FirstInstall(&stored);
    const auto total = static_cast<SimTime>(options.days * day);
    while (soak.offset < total && !soak.failed) {
        SimTime length = std::min(DrawUnits(hour, 30 * hour), total - soak.offset);
        RunSession(&input, &stored, length);
        soak.offset += SimNow();
        // Started again after a while.
        if (soak.s.exitYes)
            soak.offset += DrawUnits(second, 2 * minute);
    }
    result.seconds = Seconds(std::min(soak.offset, total));
    if (soak.failed)
        result.seconds = result.failedAt;
    SimReset();
    soak = Soak{};
    return result;
}
