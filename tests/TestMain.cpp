// SPDX-License-Identifier: GPL-3.0-or-later
// Entry of every non-GUI test program: private configuration and temporary folders, removed at the end.
#include <gtest/gtest.h>

#include "tests/TestSupport.h"

int main(int argc, char** argv) {
    std::string root = testing_support::PrepareTestEnvironment();
    testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    testing_support::RemoveTree(root);
    return result;
}
