// SPDX-License-Identifier: GPL-3.0-or-later
// Entry of every GUI test program: the offscreen platform unless one is given, one QApplication, and
// private configuration and temporary folders as in the non-GUI tests.
#include <stdlib.h>

#include <QApplication>
#include <gtest/gtest.h>

#include "tests/TestSupport.h"

int main(int argc, char** argv) {
    if (!getenv("QT_QPA_PLATFORM")) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    std::string root = testing_support::PrepareTestEnvironment();
    int result = 0;
    {
        QApplication app(argc, argv);
        testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    testing_support::RemoveTree(root);
    return result;
}
