// SPDX-License-Identifier: GPL-3.0-or-later
// The instance handle, named locks shared with simulated other processes,
// and sleeping (which only counts: the clock never moves by it).
#include <algorithm>
#include <map>
#include <memory>

#include "platform/sim/sim_internal.h"
#include "platform/sim/ui_internal.h"
#include "platform/system.h"

struct PlatformInstance {
    int unused;
};

struct PlatformHandle {
    std::u16string name; // empty for an unnamed lock
    bool open = true;
};

namespace {

struct ForeignLock {
    std::u16string name;
    long releasedAt; // Sleep count at which it goes; -1 never
};

struct LockState {
    std::vector<std::unique_ptr<PlatformHandle>> handles;
    std::map<std::u16string, int> held; // this process's open handles per name
    std::vector<ForeignLock> foreign;
    std::vector<DWORD> sleeps;
    DWORD lastError = ERROR_SUCCESS;
};

LockState locks;
PlatformInstance instance{0};

void ResetLocks()
{
    locks = LockState{};
}

SimResetHook lockReset(ResetLocks);

bool ForeignHolds(const std::u16string& name)
{
    auto sleeps = static_cast<long>(locks.sleeps.size());
    return std::any_of(locks.foreign.begin(), locks.foreign.end(), [&](const ForeignLock& lock) {
        return lock.name == name && (lock.releasedAt < 0 || sleeps < lock.releasedAt);
    });
}

} // namespace

HINSTANCE SimInstance()
{
    return &instance;
}

int SimSleepCount()
{
    return static_cast<int>(locks.sleeps.size());
}

HANDLE CreateMutexW(const void*, BOOL, LPCWSTR name)
{
    auto handle = std::make_unique<PlatformHandle>();
    locks.lastError = ERROR_SUCCESS;
    if (name != nullptr && name[0] != 0) {
        handle->name = name;
        int& mine = locks.held[handle->name];
        if (mine > 0 || ForeignHolds(handle->name))
            locks.lastError = ERROR_ALREADY_EXISTS;
        ++mine;
    }
    HANDLE result = handle.get();
    locks.handles.push_back(std::move(handle));
    return result;
}

BOOL CloseHandle(HANDLE handle)
{
    for (const auto& known : locks.handles) {
        if (known.get() == handle && known->open) {
            known->open = false;
            if (!known->name.empty())
                --locks.held[known->name];
            return TRUE;
        }
    }
    locks.lastError = ERROR_INVALID_PARAMETER;
    return FALSE;
}

DWORD GetLastError()
{
    return locks.lastError;
}

void Sleep(DWORD milliseconds)
{
    locks.sleeps.push_back(milliseconds);
}

void SimHoldForeignLock(const std::u16string& name, int releasedAfterSleeps)
{
    long at = releasedAfterSleeps < 0 ? -1 : SimSleepCount() + releasedAfterSleeps;
    locks.foreign.push_back(ForeignLock{name, at});
}

int SimLockHandles(const std::u16string& name)
{
    auto it = locks.held.find(name);
    return it != locks.held.end() ? it->second : 0;
}

std::vector<DWORD> SimSleeps()
{
    return locks.sleeps;
}
