// SPDX-License-Identifier: GPL-3.0-or-later
// The registry's guarantees on the simulated store.
#include "platform/sim/sim_registry.h"
#include "registry_contract.h"

namespace {

struct SimStore {
    static void SetUp() { SimRegistryClear(); }
    static void TearDown()
    {
        EXPECT_EQ(SimRegistryOpenKeys(), 0);
        SimRegistryClear();
    }
    static bool Peek(const std::u16string& path, const std::u16string& name,
                     std::vector<BYTE>* bytes, DWORD* type)
    {
        return SimRegistryGetValue(path, name, type, bytes);
    }
    static bool KeyExists(const std::u16string& path) { return SimRegistryKeyExists(path); }
    static LONG BreakNextCommit()
    {
        SimRegistryFailCommit(ERROR_DISK_FULL);
        return ERROR_DISK_FULL;
    }
    static void Mend() {}
};

} // namespace

INSTANTIATE_TYPED_TEST_SUITE_P(Sim, RegistryContract, SimStore);
