// SPDX-License-Identifier: GPL-3.0-or-later
// Starts a call command that keeps running, waits until it has started
// what it starts, and returns from main: the phone must take it down.
// Arguments: the command's script, the file that tells it is running, and
// "stay" to wait there instead, for a SIGKILL.
#include "platform/phone.h"
#include "platform/phone/phone_backend.h"
#include "platform/window.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>
#include <string>

#include <unistd.h>

BOOL PostMessageW(HWND, UINT, WPARAM, LPARAM)
{
    return TRUE;
}

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc != 3 && !(argc == 4 && std::string(argv[3]) == "stay")) {
        return 2;
    }
    std::string error;
    if (!SetPhoneBackend((std::string("command:") + argv[1]).c_str(), &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    PHONEMAKECALLINFO request{};
    request.cbSize = sizeof request;
    request.dwFlags = PMCF_DEFAULT;
    request.pszDestAddress = u"0301234";
    if (PhoneMakeCall(&request) <= 0) {
        return 3;
    }
    QElapsedTimer clock;
    clock.start();
    while (!QFile::exists(QString::fromLocal8Bit(argv[2]))) {
        if (clock.elapsed() > 10000) {
            return 4;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    if (argc == 4) {
        std::puts("running");
        std::fflush(stdout);
        pause();
    }
    return 0;
}
