// Flushing the file system under a run's folder before an unattended run reports "OK!".

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/LastError.h"
#include "platform/Sync.h"
#include "tests/TestSupport.h"

using testing_support::CTempDir;

// Any entry of the file system names it, a pipe included (without waiting for a writer); a path that
// does not exist fails with the system's reason, so a run can report it instead of saying "OK!".
TEST(SyncTest, SyncFileSystemNamesTheFileSystemByAnyEntryAndReportsFailures) {
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
        EXPECT_EQ(platform::SyncFileSystem(path), row.expected) << row.name;
        EXPECT_EQ(platform::LastError(), row.expectedError) << row.name;
    }
}

namespace {

// Pages of a file still waiting to be written to its disk, by cachestat (Linux 6.5; not in every C
// library yet). -1 when the kernel cannot tell.
long long DirtyPages(const std::string& path) {
#ifdef __x86_64__
    constexpr long kCachestat = 451;
    struct Range {
        uint64_t offset;
        uint64_t length;
    } range{0, 0};
    struct Stat {
        uint64_t cache, dirty, writeback, evicted, recentlyEvicted;
    } stat{};
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const long rc = fd < 0 ? -1 : syscall(kCachestat, fd, &range, &stat, 0);
    if (fd >= 0) {
        close(fd);
    }
    return rc == 0 ? static_cast<long long>(stat.dirty + stat.writeback) : -1;
#else
    (void)path;
    return -1;
#endif
}

}  // namespace

// A run's handle flushes the file system from the start of the run, on its own, so that the flush at
// the end finds little left; the final flush still works after the helper has stopped.
TEST(SyncTest, AHandleTakenBeforeTheRunWritesTheDataOutMeanwhile) {
    CTempDir dir;
    const std::string control = dir / "control";
    testing_support::WriteFile(control, std::string(1 << 20, 'c'));
    ASSERT_TRUE(platform::SyncFileSystem(dir.Path()));
    if (DirtyPages(control) != 0) {
        GTEST_SKIP() << "this kernel or file system does not tell which pages wait for the disk";
    }

    platform::CFileSystemFlush flush(dir.Path());
    flush.FlushInBackground();
    const std::string copy = dir / "copy";
    testing_support::WriteFile(copy, std::string(1 << 20, 'n'));
    // The kernel by itself leaves new data in memory for half a minute.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (DirtyPages(copy) != 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(DirtyPages(copy), 0);
    EXPECT_TRUE(flush.Flush());
}

// The path is opened when the handle is taken: a folder that is missing then is reported by the flush,
// with the reason of that moment, even when it exists by the time of the flush.
TEST(SyncTest, AFolderMissingWhenTheHandleIsTakenIsReportedByTheFlush) {
    CTempDir dir;
    const std::string later = dir / "later";
    platform::CFileSystemFlush flush(later);
    flush.FlushInBackground();
    ASSERT_EQ(mkdir(later.c_str(), 0755), 0);
    platform::SetLastError(0);
    EXPECT_FALSE(flush.Flush());
    EXPECT_EQ(platform::LastError(), ENOENT);
}
