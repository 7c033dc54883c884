// SPDX-License-Identifier: GPL-3.0-or-later
// The texts of wave-input results, the same on every platform.
#include "platform/strings.h"
#include "platform/wave.h"

namespace {

struct WaveErrorText {
    MMRESULT error;
    const char16_t* text;
};

constexpr WaveErrorText waveErrorTexts[] = {
    {MMSYSERR_NOERROR, u"no error"},
    {MMSYSERR_ERROR, u"unspecified device error"},
    {MMSYSERR_BADDEVICEID, u"no such device"},
    {MMSYSERR_ALLOCATED, u"the device is in use"},
    {MMSYSERR_INVALHANDLE, u"invalid device handle"},
    {MMSYSERR_NODRIVER, u"no driver"},
    {MMSYSERR_NOMEM, u"out of memory"},
    {MMSYSERR_INVALPARAM, u"invalid parameter"},
    {MMSYSERR_HANDLEBUSY, u"the device does not answer"},
    {WAVERR_BADFORMAT, u"the device cannot record this format"},
    {WAVERR_STILLPLAYING, u"buffers are still queued"},
    {WAVERR_UNPREPARED, u"a buffer was not prepared"},
};

} // namespace

MMRESULT waveInGetErrorTextW(MMRESULT error, LPWSTR text, UINT capacity)
{
    if (text == nullptr || capacity == 0)
        return MMSYSERR_INVALPARAM;
    const char16_t* known = u"unknown error";
    MMRESULT result = MMSYSERR_BADERRNUM;
    for (const WaveErrorText& entry : waveErrorTexts) {
        if (entry.error == error) {
            known = entry.text;
            result = MMSYSERR_NOERROR;
        }
    }
    WCHAR full[1024] = {};
    wsprintfW(full, u"%s (error %u)", known, error);
    UINT i = 0;
    for (; i + 1 < capacity && full[i] != u'\0'; ++i)
        text[i] = full[i];
    text[i] = u'\0';
    return result;
}
