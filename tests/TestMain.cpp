// Entry of every non-GUI test program: points the configuration and temporary folders into a private
// folder, so that no test touches the user's own settings or logs.
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/TestSupport.h"

int main(int argc, char** argv) {
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
    testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    testing_support::RemoveTree(root);
    return result;
}
