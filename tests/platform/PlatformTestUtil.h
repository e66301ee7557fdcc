// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared pieces of the platform tests: the probe program for child-process cases, and a fixture that
// disarms the fault seam after every test. Test threads only.

#include <string>

#include <gtest/gtest.h>

#include "platform/FaultSeam.h"
#include "tests/TestSupport.h"

namespace platform_test {

// Runs the probe with the given (already quoted) arguments as an ordinary user; returns its standard
// output, or sets *skipReason when no ordinary user can be had here.
std::string ProbeAsOrdinaryUser(const std::string& args, std::string* skipReason);
// Runs the probe as this process's user with extra environment assignments ("A=1 B=").
std::string Probe(const std::string& env, const std::string& args, bool mergeStderr);
// Gives path to the ordinary user of RunAsOrdinaryUser when the tests run as root (no-op otherwise).
void GiveToOrdinaryUser(const std::string& path);

class PlatformTest : public ::testing::Test {
  protected:
    void TearDown() override { platform::TestClearFaults(); }
};

}  // namespace platform_test
