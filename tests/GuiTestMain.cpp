// Entry of every GUI test program: the offscreen platform unless one is given, one QApplication, and
// private configuration and temporary folders as in the non-GUI tests.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <QApplication>
#include <gtest/gtest.h>

#include "tests/TestSupport.h"

int main(int argc, char** argv) {
    if (!getenv("QT_QPA_PLATFORM")) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    const char* tmp = getenv("TMPDIR");
    std::string base = (tmp && *tmp) ? tmp : "/tmp";
    std::string templ = base + "/tandrel-run-XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    std::string root;
    if (mkdtemp(buf.data())) {
        root = buf.data();
        chmod(root.c_str(), 0755);
        setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
        setenv("TMPDIR", root.c_str(), 1);
        setenv("HOME", root.c_str(), 1);
    }
    int result = 0;
    {
        QApplication app(argc, argv);
        testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    testing_support::RemoveTree(root);
    return result;
}
