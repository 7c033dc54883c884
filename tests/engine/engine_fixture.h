// SPDX-License-Identifier: GPL-3.0-or-later
// Puts the engine, the records and the simulated platform back to their
// process-start state between tests.
#pragma once

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

void ResetEngine();

std::vector<std::int16_t> Constant(std::size_t count, std::int16_t value);

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override { ResetEngine(); }
    void TearDown() override { ResetEngine(); }
};
