// SPDX-License-Identifier: GPL-3.0-or-later
// Places a SIP call, waits for its first news (it rings, or it is turned
// down), says "BARESIP_PID FOLDER" on
// standard output and then returns from main ("return"), waits to be
// killed ("hang"), or, as the program does at Ctrl+C, runs on for half a
// second after SIGINT and returns ("interrupt"): the phone must take
// baresip down in every case. Arguments: the number, and how to end. The
// account is the environment's.
#include "platform/phone.h"
#include "platform/phone/phone_backend.h"
#include "platform/window.h"
#include "sip_support.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

BOOL PostMessageW(HWND, UINT, WPARAM, LPARAM)
{
    return TRUE;
}

namespace {

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int)
{
    interrupted = 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc != 3)
        return 2;
    std::signal(SIGINT, OnInterrupt);
    std::string error;
    if (!SetPhoneBackend("sip", &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    StartPhoneBackend();
    const std::u16string number(argv[1], argv[1] + std::strlen(argv[1]));
    PHONEMAKECALLINFO request{};
    request.cbSize = sizeof request;
    request.dwFlags = PMCF_DEFAULT;
    request.pszDestAddress = number.c_str();
    const LONG id = PhoneMakeCall(&request);
    QElapsedTimer clock;
    clock.start();
    PHONECALLEVENT news{};
    bool told = false;
    while (!told && clock.elapsed() < 15000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        while (PhoneGetCallEvent(&news))
            told = told || news.callId == id;
    }
    const std::vector<pid_t> children = BaresipChildren();
    if (!told || children.size() != 1)
        return 3;
    // baresip's command line is "baresip -f FOLDER".
    const QList<QByteArray> words =
        ReadWholeFile(QStringLiteral("/proc/%1/cmdline").arg(children[0])).split('\0');
    std::printf("%d %s\n", static_cast<int>(children[0]), words.value(2).constData());
    std::fflush(stdout);
    if (std::strcmp(argv[2], "hang") == 0) {
        for (int i = 0; i < 600; ++i)
            QThread::msleep(100);
    }
    if (std::strcmp(argv[2], "interrupt") == 0) {
        while (interrupted == 0 && clock.elapsed() < 30000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        // The windows close over a few turns of the event loop.
        clock.restart();
        while (clock.elapsed() < 500)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return 0;
}
