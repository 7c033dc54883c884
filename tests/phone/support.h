// SPDX-License-Identifier: GPL-3.0-or-later
// What the phone tests share: the news the phone gives, waits on the Qt
// event loop, and standard output or error caught in a file.
#pragma once

#include <QString>

#include <cstdio>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "platform/phone.h"

// Readable failure messages for QString.
void PrintTo(const QString& text, std::ostream* out);

// Redirects standard output or standard error (by descriptor) into a
// temporary file for as long as it lives.
class StreamCapture {
public:
    explicit StreamCapture(int fd);
    ~StreamCapture();
    StreamCapture(const StreamCapture&) = delete;
    StreamCapture& operator=(const StreamCapture&) = delete;

    std::string Text() const;

private:
    int fd_;
    int saved_ = -1;
    std::FILE* file_ = nullptr;
};

// Runs the event loop until done() holds or timeoutMs pass; whether it held.
bool SpinUntil(const std::function<bool()>& done, int timeoutMs = 10000);

// Hands number to PhoneMakeCall from a buffer that is wiped right after, as
// the caller's buffer may be. The request's id.
LONG PlaceCall(const std::u16string& number);

struct News {
    DWORD event;
    std::string reason;
};

// Everything the phone has told so far, by request.
extern std::map<LONG, std::vector<News>> newsByCall;

void CollectNews();
std::vector<News> NewsOf(LONG id);
// The request has had its last news.
bool IsOver(LONG id);
// Spins until the request has had its last news; that news.
News WaitForEnd(LONG id, int timeoutMs = 10000);
std::vector<DWORD> Events(LONG id);
bool Contains(const std::string& text, const std::string& part);
