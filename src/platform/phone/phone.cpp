// SPDX-License-Identifier: GPL-3.0-or-later
// PhoneMakeCall, the news it gives, and the choice of backend.
#include "platform/phone.h"
#include "platform/eventlog.h"
#include "platform/phone/phone_backend.h"
#include "platform/phone/phone_internal.h"
#include "platform/window.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <deque>
#include <iterator>
#include <string>

namespace {

using phone_internal::PhoneBackendOps;

// The ways of placing calls, in the order the list of choices names them.
// A new one is a file of its own and a row here.
const PhoneBackendOps* const backends[] = {
    &phone_internal::automaticBackend, &phone_internal::modemManagerBackend,
    &phone_internal::commandBackend,   &phone_internal::sipBackend,
    &phone_internal::logBackend,
};

struct PhoneState {
    const PhoneBackendOps* chosen = &phone_internal::automaticBackend;
    LONG nextId = 1;
    std::deque<PHONECALLEVENT> news;
    HWND notifyWindow = nullptr;
    UINT notifyMessage = 0;
    int messagesUnderWay = 0; // channels of messages whose news has not come yet
};

PhoneState phone;

// "automatic, modemmanager, command:PROGRAM, sip or log"
std::string ChoiceList()
{
    std::string list;
    const std::size_t count = std::size(backends);
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0)
            list += i + 1 < count ? ", " : " or ";
        list += backends[i]->shown;
    }
    return list;
}

// The backend a choice names, and its argument; null for none.
const PhoneBackendOps* Named(const QString& text, QString* argument)
{
    for (const PhoneBackendOps* backend : backends) {
        const QString choice = QString::fromLatin1(backend->choice);
        if (choice.endsWith(QLatin1Char(':')) ? text.startsWith(choice) : text == choice) {
            *argument = text.mid(choice.size());
            return backend;
        }
    }
    return nullptr;
}

} // namespace

namespace phone_internal {

void WriteDiagnostic(WORD type, const QString& text)
{
    const QString line = QStringLiteral("phone: ") + text;
    AppendEventLog(type, reinterpret_cast<LPCWSTR>(line.utf16()));
}

QString SecondsText(int milliseconds)
{
    return QStringLiteral("%1 s").arg(QString::number(milliseconds / 1000.0));
}

QString DurationText(int milliseconds)
{
    if (milliseconds >= 60000 && milliseconds % 60000 == 0)
        return QStringLiteral("%1 minutes").arg(milliseconds / 60000);
    return SecondsText(milliseconds);
}

QString UnansweredText(int milliseconds)
{
    return QStringLiteral("not answered within %1, hung up").arg(SecondsText(milliseconds));
}

void ReportCall(LONG id, DWORD event, const QString& reason)
{
    PHONECALLEVENT news{};
    news.callId = id;
    news.event = event;
    const int length = std::min<int>(static_cast<int>(reason.size()), phoneReasonCapacity - 1);
    for (int i = 0; i < length; ++i) {
        news.reason[i] = reason.at(i).unicode();
    }
    phone.news.push_back(news);
    if (event == PHONE_EVENT_MESSAGE_SENT || event == PHONE_EVENT_MESSAGE_FAILED)
        --phone.messagesUnderWay;
    if (phone.notifyWindow != nullptr) {
        PostMessageW(phone.notifyWindow, phone.notifyMessage, 0, 0);
    }
}

} // namespace phone_internal

bool SetPhoneBackend(const char* choice, std::string* error)
{
    const QString text = QString::fromUtf8(choice != nullptr ? choice : "");
    QString argument;
    const PhoneBackendOps* backend = Named(text, &argument);
    if (backend == nullptr) {
        if (error != nullptr)
            *error =
                "unknown phone backend \"" + text.toStdString() + "\" (use " + ChoiceList() + ")";
        return false;
    }
    QString problem;
    if (backend->choose != nullptr && !backend->choose(argument, &problem)) {
        if (error != nullptr)
            *error = problem.toStdString();
        return false;
    }
    phone.chosen = backend;
    return true;
}

void StartPhoneBackend()
{
    // What another choice left running ends first (baresip and its call).
    for (const PhoneBackendOps* backend : backends) {
        if (backend != phone.chosen && backend->stop != nullptr)
            backend->stop();
    }
    phone.chosen->start();
}

const char* PhoneBackendName()
{
    return phone.chosen->name;
}

LONG PhoneMakeCall(PHONEMAKECALLINFO* request)
{
    if (request == nullptr || request->pszDestAddress == nullptr ||
        request->pszDestAddress[0] == u'\0') {
        return 0;
    }
    // Copied now: the request need not outlive this call.
    const QString number = QString::fromUtf16(request->pszDestAddress);
    const LONG id = phone.nextId++;
    phone.chosen->dial(id, number);
    return id;
}

void PhoneSetNotifyWindow(HWND window, UINT message)
{
    phone.notifyWindow = window;
    phone.notifyMessage = message;
}

BOOL PhoneGetCallEvent(PHONECALLEVENT* event)
{
    if (event == nullptr || phone.news.empty()) {
        return FALSE;
    }
    *event = phone.news.front();
    phone.news.pop_front();
    return TRUE;
}

DWORD PhoneGetRoute()
{
    return phone.chosen->route();
}

void PhoneSetRingTimeout(DWORD milliseconds)
{
    const int bound = static_cast<int>(std::min<DWORD>(milliseconds, 3600000));
    SetPhoneModemRingTimeout(bound);
    SetPhoneSipRingTimeout(bound);
}

LONG PhoneSendMessage(LPCWSTR number, LPCWSTR text)
{
    if (number == nullptr || number[0] == u'\0' || text == nullptr)
        return 0;
    const QString to = QString::fromUtf16(number);
    const QString words = QString::fromUtf16(text);
    const LONG id = phone.nextId++;
    // Counted before it starts: a channel may give its news at once.
    bool sent = false;
    if (phone.chosen->message != nullptr) {
        ++phone.messagesUnderWay;
        phone.chosen->message(id, to, words);
        sent = true;
    }
    ++phone.messagesUnderWay;
    if (phone_internal::RunNotifyCommand(id, words))
        sent = true;
    else
        --phone.messagesUnderWay;
    return sent ? id : 0;
}

void PhoneFinishMessages(DWORD milliseconds)
{
    if (QCoreApplication::instance() != nullptr && phone.messagesUnderWay > 0) {
        QEventLoop loop;
        const QDeadlineTimer deadline(static_cast<qint64>(milliseconds));
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&loop, &deadline] {
            if (phone.messagesUnderWay <= 0 || deadline.hasExpired())
                loop.quit();
        });
        poll.start(20);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    phone_internal::KillNotifyCommands();
}

BOOL PhoneCanCall()
{
    return phone.chosen->ready() ? TRUE : FALSE;
}
