// SPDX-License-Identifier: GPL-3.0-or-later
// The soak's user and faults: dialogs used and left as a user would, boxes
// answered, calls that end in every way, and the device, the heap and the
// store failing, all drawn from the seed.
#include <algorithm>

#include "platform/sim/sim_nights.h"
#include "platform/sim/sim_phone.h"
#include "platform/sim/sim_registry.h"
#include "settings/settings.h"
#include "soak_parts.h"

namespace soakparts {

namespace {

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
                                            "call not answered",
                                            "Start/Stop pressed",
                                            "microphone dialog",
                                            "phone dialog",
                                            "contact dialog",
                                            "language dialog",
                                            "exit refused",
                                            "exit and restart",
                                            "disk full (nights)",
                                            "microphone gone for minutes"};

} // namespace

// ---- Calls ---------------------------------------------------------------------------

void QueueOutcome()
{
    static const int kinds[] = {FAULT_CALL_PLACED, FAULT_CALL_PLACED,     FAULT_CALL_PLACED,
                                FAULT_CALL_PLACED, FAULT_CALL_PLACED,     FAULT_CALL_LONG,
                                FAULT_CALL_LONG,   FAULT_CALL_FAILED,     FAULT_CALL_FAILED,
                                FAULT_CALL_LOGGED, FAULT_CALL_UNANSWERED, FAULT_CALL_UNANSWERED};
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
    case FAULT_CALL_UNANSWERED:
        // Hung up by the far end, or rung until the ring timeout.
        outcome.answered = false;
        outcome.after = DrawUnits(0, 10 * second);
        outcome.activeFor =
            Draw(soak.random, 0, 1) == 0 ? DrawUnits(0, 60 * second) : simCallForever;
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
    case dlgMicrophone: {
        // A row's button towards a value the user has in mind.
        static const int less[] = {ctlVolSensiLess, ctlVolThreshLess, ctlCryThreshLess};
        static const int more[] = {ctlVolSensiMore, ctlVolThreshMore, ctlCryThreshMore};
        int row = static_cast<int>(Draw(soak.random, 0, 3));
        if (row == 3) {
            // Now and then the cry check, on or off.
            SimDialogClickCheckBox(dialog, ctlCryCheckBox);
            break;
        }
        std::int32_t values[] = {settings.VolSensi, settings.VolThresh, settings.CryThresh};
        bool up = values[row] < Draw(soak.random, 15, 85);
        SimDialogPush(dialog, up ? more[row] : less[row]);
        break;
    }
    case dlgPhone: {
        static const int boxes[] = {ctlPhoneNumber,  ctlPhoneDelay,   ctlPhoneMaxCalls,
                                    ctlPhoneNumber2, ctlPhoneNumber3, ctlPhoneRingSeconds};
        static const char16_t* const rings[] = {u"10", u"45", u"45", u"120", u"9", u"301", u""};
        int box = static_cast<int>(Draw(soak.random, 0, 5));
        const char16_t* text = box == 1   ? Pick(delays)
                               : box == 2 ? Pick(maxima)
                               : box == 5 ? Pick(rings)
                                          : Pick(numbers);
        SimDialogType(dialog, boxes[box], text);
        break;
    }
    case dlgLanguage:
        SimDialogClickRadio(dialog,
                            languages[Draw(soak.random, 0, languageCount - 1)].languageButton);
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
    long steps = templateId == dlgContact ? 0 : Draw(soak.random, 0, 4);
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
    SimChooseMenuCommand(SimMainWindow(),
                         Draw(soak.random, 0, 1) == 0 ? cmdMicrophoneDialog : cmdPhoneDialog);
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
    case FAULT_MIC_GONE: {
        SimTime until = now + DrawUnits(61 * second, 4 * minute);
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
        SimChooseMenuCommand(window, cmdMicrophoneDialog);
        break;
    case FAULT_PHONE_DIALOG:
        SimChooseMenuCommand(window, cmdPhoneDialog);
        break;
    case FAULT_CONTACT_DIALOG:
        SimChooseMenuCommand(window, cmdContactDialog);
        break;
    case FAULT_LANGUAGE:
        SimChooseMenuCommand(window, cmdLanguageDialog);
        break;
    case FAULT_EXIT_REFUSED:
        s.exitYes = false;
        SimChooseMenuCommand(window, cmdExit);
        break;
    case FAULT_RESTART:
        s.exitYes = true;
        SimChooseMenuCommand(window, cmdExit);
        break;
    case FAULT_DISK_FULL: {
        std::vector<SimNightRecording> nights = SimNightRecordings();
        std::int64_t written = nights.empty() ? 0 : nights.back().written;
        SimNightRecordingFullAfter(written + Draw(soak.random, 0, 600 * 11025));
        break;
    }
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
                          {FAULT_EXIT_REFUSED, 10, true},   {FAULT_RESTART, 2, true},
                          {FAULT_DISK_FULL, 5, false},
                          {FAULT_MIC_GONE, 2, false}};

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

} // namespace soakparts

using namespace soakparts;

const char* FaultName(int kind)
{
    return kind >= 0 && kind < faultKinds ? faultNames[kind] : "?";
}
