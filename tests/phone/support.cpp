// SPDX-License-Identifier: GPL-3.0-or-later
#include "support.h"

#include "platform/posix/standard_streams.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

// The program's lines reach the streams through queues of their own.
static void FlushStreams()
{
    std::fflush(stdout);
    std::fflush(stderr);
    FlushStandardStreams(10000);
}

StreamCapture::StreamCapture(int fd) : fd_(fd)
{
    FlushStreams();
    file_ = std::tmpfile();
    saved_ = dup(fd_);
    dup2(fileno(file_), fd_);
}

StreamCapture::~StreamCapture()
{
    FlushStreams();
    dup2(saved_, fd_);
    close(saved_);
    std::fclose(file_);
}

std::string StreamCapture::Text() const
{
    FlushStreams();
    struct stat info {};
    fstat(fileno(file_), &info);
    std::string text(static_cast<std::size_t>(info.st_size), '\0');
    const ssize_t got = pread(fileno(file_), text.data(), text.size(), 0);
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return text;
}

// Runs the event loop until done() holds or timeoutMs pass.
bool SpinUntil(const std::function<bool()>& done, int timeoutMs)
{
    QTimer wake; // keeps WaitForMoreEvents from sleeping past the deadline
    wake.start(10);
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Hands number to PhoneMakeCall from a buffer that is wiped right after, as
// the caller's buffer may be. The request's id.
LONG PlaceCall(const std::u16string& number)
{
    std::u16string buffer = number;
    PHONEMAKECALLINFO request{};
    request.cbSize = sizeof request;
    request.dwFlags = PMCF_DEFAULT;
    request.pszDestAddress = buffer.c_str();
    const LONG id = PhoneMakeCall(&request);
    buffer.assign(buffer.size(), u'X');
    return id;
}

// Everything the phone has told so far, by request.
std::map<LONG, std::vector<News>> newsByCall;

void CollectNews()
{
    PHONECALLEVENT event{};
    while (PhoneGetCallEvent(&event)) {
        const std::u16string reason(event.reason);
        newsByCall[event.callId].push_back(
            {event.event, QString::fromStdU16String(reason).toStdString()});
    }
}

std::vector<News> NewsOf(LONG id)
{
    CollectNews();
    return newsByCall[id];
}

bool IsOver(LONG id)
{
    const std::vector<News> news = NewsOf(id);
    return !news.empty() && news.back().event != PHONE_EVENT_PLACED &&
           news.back().event != PHONE_EVENT_ANSWERED;
}

// Spins until the request has had its last news; that news.
News WaitForEnd(LONG id, int timeoutMs)
{
    SpinUntil([id] { return IsOver(id); }, timeoutMs);
    const std::vector<News> news = NewsOf(id);
    return news.empty() ? News{0, "no news"} : news.back();
}

std::vector<DWORD> Events(LONG id)
{
    std::vector<DWORD> events;
    for (const News& news : NewsOf(id))
        events.push_back(news.event);
    return events;
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}
