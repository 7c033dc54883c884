// The phone: every call request is logged; none is ever refused.
#include "platform/phone.h"
#include "platform/sim/sim_internal.h"
#include "platform/sim/sim_window.h"

namespace {

std::vector<SimCall> calls;

void ResetCalls()
{
    calls.clear();
}

SimResetHook callReset(ResetCalls);

} // namespace

LONG PhoneMakeCall(PHONEMAKECALLINFO* request)
{
    if (request == nullptr)
        return -1;
    // The caller's text need not outlive the call: keep a copy.
    std::u16string number = request->pszDestAddress != nullptr ? request->pszDestAddress : u"";
    calls.push_back(SimCall{SimNow(), number, request->dwFlags, request->cbSize});
    return 0;
}

std::vector<SimCall> SimCalls()
{
    return calls;
}
