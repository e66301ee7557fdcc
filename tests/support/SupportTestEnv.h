// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared by the support and run-log tests: private temporary and configuration folders per test, and
// re-running one case of the current test program as an ordinary user. Test threads only.

#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/TestSupport.h"

namespace testing_support {

// The lines of a text split at "\n" (a last line without one counts too).
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string::size_type pos = 0;
    while (pos < text.size()) {
        std::string::size_type end = text.find('\n', pos);
        if (end == std::string::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    return lines;
}

// Points $TMPDIR and $XDG_CONFIG_HOME into fresh folders for one test and restores them afterwards, so
// that logs, switches and profiles of one case never leak into the next.
class CPrivateFolders {
  public:
    CPrivateFolders()
        : m_oldTmp(Read("TMPDIR")), m_oldConfig(Read("XDG_CONFIG_HOME")), m_oldState(Read("XDG_STATE_HOME")) {
        MakeFolder(m_dir / "tmp");
        setenv("TMPDIR", (m_dir / "tmp").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (m_dir / "config").c_str(), 1);
        setenv("XDG_STATE_HOME", (m_dir / "state").c_str(), 1);
    }
    ~CPrivateFolders() {
        setenv("TMPDIR", m_oldTmp.c_str(), 1);
        setenv("XDG_CONFIG_HOME", m_oldConfig.c_str(), 1);
        setenv("XDG_STATE_HOME", m_oldState.c_str(), 1);
    }
    CPrivateFolders(const CPrivateFolders&) = delete;
    CPrivateFolders& operator=(const CPrivateFolders&) = delete;

    // The temporary folder with its trailing "/".
    std::string Temp() const { return m_dir / "tmp/"; }
    // Where bare profile names lie, with its trailing "/".
    std::string Config() const { return m_dir / "config/tandrel/"; }
    // Where the run log lies, with its trailing "/".
    std::string State() const { return m_dir / "state/tandrel/"; }

  private:
    static std::string Read(const char* name) {
        const char* value = getenv(name);
        return value ? value : "";
    }

    CTempDir m_dir;
    const std::string m_oldTmp;
    const std::string m_oldConfig;
    const std::string m_oldState;
};

// Environment variable that tells a case it runs as the ordinary-user child of another case.
inline constexpr const char* kChildDirVariable = "TANDREL_TEST_CHILD_DIR";

// The folder a child case works in, or empty when this process is not such a child.
inline std::string ChildDir() {
    const char* dir = getenv(kChildDirVariable);
    return dir ? dir : "";
}

// Runs the cases matching filter of this test program again as an ordinary user (such cases are named
// DISABLED_ so that they run only this way) (uid 65534 when
// root), with kChildDirVariable set to dir. Returns the exit status (-1 when impossible here) and
// the child's output.
inline int RunCasesAsOrdinaryUser(const std::string& filter, const std::string& dir, std::string& output) {
    std::vector<char> exe(4096);
    const ssize_t n = readlink("/proc/self/exe", exe.data(), exe.size() - 1);
    if (n <= 0) {
        return -1;
    }
    const std::string program(exe.data(), static_cast<size_t>(n));
    return RunAsOrdinaryUser(std::string(kChildDirVariable) + "=" + ShellQuote(dir) + " " +
                                 ShellQuote(program) +
                                 " --gtest_also_run_disabled_tests --gtest_filter=" + ShellQuote(filter),
                             &output);
}

}  // namespace testing_support
