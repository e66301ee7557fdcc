// SPDX-License-Identifier: GPL-3.0-or-later
// What a tree's medium keeps.
#include "platform/FaultSeam.h"
#include "platform/Medium.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

namespace {

// The probe, on a file system that keeps everything: exact times, case told apart, modes kept; and the
// probe file gone again.
TEST(Medium, TheProbeReadsWhatALinuxFileSystemKeepsAndLeavesNothing) {
    testing_support::CTempDir dir;
    for (const bool probe : {false, true}) {
        platform::TestForceMediumProbe(probe);
        const platform::Medium medium = platform::LearnMedium(dir.Path());
        platform::TestClearFaults();
        EXPECT_EQ(medium.timeResolution, 1u) << probe;
        EXPECT_FALSE(medium.ignoresCase) << probe;
        EXPECT_TRUE(medium.keepsModes) << probe;
        EXPECT_TRUE(medium.keepsReadOnly) << probe;
        EXPECT_TRUE(testing_support::ListNames(dir.Path()).empty()) << probe;
    }
    EXPECT_EQ(platform::LearnMedium(dir / "missing").timeResolution, 1u) << "the scan reports a missing root";
}

}  // namespace
