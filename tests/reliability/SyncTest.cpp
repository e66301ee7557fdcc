// SPDX-License-Identifier: GPL-3.0-or-later
// Flushing the file system under a run's folder before an unattended run reports "OK!".

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "platform/Error.h"
#include "platform/Sync.h"
#include "tests/TestSupport.h"

using testing_support::CTempDir;

// Any entry of the file system names it, a pipe included (without waiting for a writer); a path that
// does not exist fails with the system's reason, so a run can report it instead of saying "OK!".
TEST(SyncTest, AFlushNamesTheFileSystemByAnyEntryAndReportsFailures) {
    struct Row {
        const char* name;
        std::function<std::string(const CTempDir& dir)> arrange;
        bool expected;
        int expectedError;
    };
    const Row rows[] = {
        {"folder", [](const CTempDir& dir) { return dir.Path(); }, true, 0},
        {"folder with trailing slash", [](const CTempDir& dir) { return dir.Path() + "/"; }, true, 0},
        {"file",
         [](const CTempDir& dir) {
             testing_support::WriteFile(dir / "f", "data");
             return dir / "f";
         },
         true, 0},
        {"pipe without a writer",
         [](const CTempDir& dir) {
             EXPECT_EQ(mkfifo((dir / "p").c_str(), 0600), 0);
             return dir / "p";
         },
         true, 0},
        {"missing folder", [](const CTempDir& dir) { return dir / "missing/Data/"; }, false, ENOENT},
        {"empty path", [](const CTempDir&) { return std::string(); }, false, ENOENT},
    };
    for (const Row& row : rows) {
        CTempDir dir;
        const std::string path = row.arrange(dir);
        platform::SetLastError(0);
        EXPECT_EQ(platform::CFileSystemFlush(path).Flush(), row.expected) << row.name;
        EXPECT_EQ(platform::LastError().Errno(), row.expectedError) << row.name;
    }
}

// The path is opened when the handle is taken: a folder that is missing then is reported by the flush,
// with the reason of that moment, even when it exists by the time of the flush.
TEST(SyncTest, AFolderMissingWhenTheHandleIsTakenIsReportedByTheFlush) {
    CTempDir dir;
    const std::string later = dir / "later";
    platform::CFileSystemFlush flush(later);
    ASSERT_EQ(mkdir(later.c_str(), 0755), 0);
    platform::SetLastError(0);
    EXPECT_FALSE(flush.Flush());
    EXPECT_EQ(platform::LastError().Errno(), ENOENT);
}
