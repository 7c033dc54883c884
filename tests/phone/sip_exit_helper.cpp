// SPDX-License-Identifier: GPL-3.0-or-later
// Places a SIP call, waits until it rings, says "BARESIP_PID FOLDER" on
// standard output and then returns from main ("return") or waits to be
// killed ("hang"): the phone must take baresip down in both cases.
// Arguments: the number, and how to end. The account is the environment's.
#include "platform/phone.h"
#include "platform/phone/phone_backend.h"
#include "platform/window.h"
#include "sip_support.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <cstdio>
#include <cstring>
#include <string>

BOOL PostMessageW(HWND, UINT, WPARAM, LPARAM)
{
    return TRUE;
}

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc != 3)
        return 2;
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
    bool placed = false;
    while (!placed && clock.elapsed() < 15000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        while (PhoneGetCallEvent(&news))
            placed = placed || (news.callId == id && news.event == PHONE_EVENT_PLACED);
    }
    const std::vector<pid_t> children = BaresipChildren();
    if (!placed || children.size() != 1)
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
    return 0;
}
