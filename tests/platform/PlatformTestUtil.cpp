// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/platform/PlatformTestUtil.h"

#include <unistd.h>

namespace platform_test {

using testing_support::ShellQuote;

std::string ProbeAsOrdinaryUser(const std::string& args, std::string* skipReason) {
    std::string output;
    int status = testing_support::RunAsOrdinaryUser(ShellQuote(PLATFORM_PROBE) + " " + args, &output);
    if (status == -1) {
        *skipReason = "cannot drop to an ordinary user here (setpriv missing)";
    }
    return output;
}

std::string Probe(const std::string& env, const std::string& args, bool mergeStderr) {
    std::string output;
    // Standard error is captured or dropped: it must not mix into the test's own output.
    const std::string redirect = mergeStderr ? "" : " 2>/dev/null";
    testing_support::RunCommand("env " + env + " " + ShellQuote(PLATFORM_PROBE) + " " + args + redirect,
                                &output, mergeStderr);
    return output;
}

void GiveToOrdinaryUser(const std::string& path) {
    if (testing_support::IsRoot() && lchown(path.c_str(), 65534, 65534) != 0) {
        ADD_FAILURE() << "lchown " << path;
    }
}

}  // namespace platform_test
