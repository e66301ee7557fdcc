// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helpers for tests: a private temporary folder per test, small file fixtures, and running a command as
// an ordinary user when the tests run as root. Test threads only.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Error.h"
#include "platform/FileSystem.h"

// Fails the test with the system's text when a platform call returns false.
#define ASSERT_PLATFORM_OK(call) ASSERT_TRUE(call) << #call << ": " << platform::LastError().Text()
#define EXPECT_PLATFORM_OK(call) EXPECT_TRUE(call) << #call << ": " << platform::LastError().Text()

namespace testing_support {

// A fresh folder below $TMPDIR, removed with everything in it (write bits restored first) at the end.
class CTempDir {
  public:
    CTempDir();
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;
    // The folder, without a trailing "/".
    const std::string& Path() const { return m_path; }
    // Path() + "/" + relative.
    std::string operator/(const std::string& relative) const { return m_path + "/" + relative; }

  private:
    std::string m_path;
};

// Makes a private folder for one test program and points XDG_CONFIG_HOME, TMPDIR and HOME into it, so
// that no test touches the user's own settings or logs. Returns the folder ("" when none could be made).
std::string PrepareTestEnvironment();

// Removes a folder with everything in it, restoring write and search bits first; nothing for "".
void RemoveTree(const std::string& path);

// Writes content to path, creating missing parent folders.
void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);
void MakeFolder(const std::string& path);  // with missing parents
// Sets the modification time (seconds and nanoseconds since 1970) without following a link.
void SetModTime(const std::string& path, int64_t seconds, int64_t nanoseconds = 0);
int64_t ModTimeNs(const std::string& path);  // nanoseconds since 1970 (lstat)
unsigned Mode(const std::string& path);      // permission bits (lstat)
void SetMode(const std::string& path, unsigned mode);
// Names of the entries of a folder, sorted, without "." and "..".
std::vector<std::string> ListNames(const std::string& folder);
// All files (and links) below folder as relative paths, sorted.
std::vector<std::string> ListTree(const std::string& folder);

bool IsRoot();
// Runs a shell command line; as root it runs as user 65534 through setpriv. Returns the exit status,
// or -1 when dropping privileges is impossible here. Output goes to *output when given.
int RunAsOrdinaryUser(const std::string& command, std::string* output = nullptr);
// Runs a shell command line as it is; returns the exit status and captures standard output (and
// standard error when mergeStderr) into *output.
int RunCommand(const std::string& command, std::string* output = nullptr, bool mergeStderr = false);
// Quotes text for a POSIX shell.
std::string ShellQuote(const std::string& text);
// The built program (TANDREL_BINARY in the environment overrides the path compiled in).
std::string TandrelBinary();

// The platform's copy calls between paths: each folder is opened as a run opens a tree's root, and the
// call is given the folder and the name in it. The source's folder is opened first.
bool CopyAtPaths(const std::string& from, const std::string& to, bool sourceKeepsModes = true);
std::unique_ptr<platform::CPreparedCopy> PrepareAtPaths(const std::string& from, const std::string& to,
                                                        bool provisional = false,
                                                        const platform::ScannedTarget* scanned = nullptr);
bool FinishWriteTimeAt(const std::string& path, const platform::PendingWriteTime& time);

}  // namespace testing_support
