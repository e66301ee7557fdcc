// SPDX-License-Identifier: GPL-3.0-or-later
// The engine between its scan and its copies: files that vanish or change kind after the worklist was
// built, a disk that fills up under the named-temporary-file path, and links planted in a destination
// tree. Real folders, a recording host; every case checks both trees afterwards.

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "engine/DirScanner.h"
#include "engine/Executor.h"
#include "engine/GenericException.h"
#include "engine/WorkList.h"
#include "engine/WorkListBuilder.h"
#include "platform/FaultSeam.h"
#include "platform/FileSystem.h"
#include "platform/Error.h"
#include "tests/TestSupport.h"
#include "tests/engine/EngineFakes.h"
#include "tests/reliability/ReliabilitySupport.h"

using engine_test::CFakeHost;
using reliability::Differences;
using reliability::FilesOnly;
using reliability::Snapshot;
using reliability::TempLeftovers;
using reliability::TreeState;
using testing_support::CTempDir;
using testing_support::MakeFolder;
using testing_support::ReadFile;
using testing_support::SetModTime;
using testing_support::WriteFile;

namespace {

// Scans both trees, builds and decides the worklist, lets change alter the trees, then executes.
// Returns the reports of the run.
std::vector<std::string> RunWithChange(const std::string& src, const std::string& dst, int mode,
                                       const std::function<void()>& change, const std::string& ignore = "") {
    CDirScanner sourceScan(src, ignore, nullptr);
    CDirScanner destScan(dst, ignore, nullptr);
    CWorkListBuilder builder(sourceScan, destScan, nullptr);
    builder.ApplyRunMode(mode);
    change();
    CFakeHost host;
    std::string s = src;
    std::string d = dst;
    ExecuteWorkList(host, s, d, builder, mode);
    return host.reports;
}

std::string Text(int err) {
    return platform::CError(err).Text();
}

}  // namespace

// Between the scan and the copy a source file is removed, or replaced by a folder, a pipe or a link.
// The run stops at that file with the system's text (a link is copied as a link, never followed), never
// creates folders for a file that is gone, never blocks on the pipe, and the destination holds no part
// of anything.
TEST(EngineFaultTest, SourceChangedBetweenScanAndCopy) {
    struct Row {
        const char* name;
        std::function<void(const std::string& file)> change;
        std::string expectedError;  // "" when the copy succeeds
    };
    const Row rows[] = {
        {"removed", [](const std::string& f) { ASSERT_EQ(unlink(f.c_str()), 0); }, Text(ENOENT)},
        {"replaced by a folder",
         [](const std::string& f) {
             ASSERT_EQ(unlink(f.c_str()), 0);
             ASSERT_EQ(mkdir(f.c_str(), 0755), 0);
         },
         Text(EISDIR)},
        {"replaced by a pipe",
         [](const std::string& f) {
             ASSERT_EQ(unlink(f.c_str()), 0);
             ASSERT_EQ(mkfifo(f.c_str(), 0644), 0);
         },
         Text(EINVAL)},
        {"replaced by a link to a private file",
         [](const std::string& f) {
             ASSERT_EQ(unlink(f.c_str()), 0);
             ASSERT_EQ(symlink("/etc/shadow", f.c_str()), 0);
         },
         ""},
    };
    for (const Row& row : rows) {
        CTempDir dir;
        const std::string src = dir / "src";
        const std::string dst = dir / "dst";
        WriteFile(src + "/sub/changing.txt", "at scan time");
        MakeFolder(dst);
        const std::string file = src + "/sub/changing.txt";

        const std::vector<std::string> reports =
            RunWithChange(src, dst, RunBackup, [&] { row.change(file); });

        const TreeState destAfter = Snapshot(dst);
        if (row.expectedError.empty()) {
            EXPECT_TRUE(reports.empty()) << row.name << ": " << (reports.empty() ? "" : reports[0]);
            ASSERT_TRUE(destAfter.count("sub/changing.txt")) << row.name;
            EXPECT_EQ(destAfter.at("sub/changing.txt").kind, "link") << row.name;
            EXPECT_EQ(destAfter.at("sub/changing.txt").linkTarget, "/etc/shadow") << row.name;
        } else {
            ASSERT_EQ(reports.size(), 1u) << row.name;
            EXPECT_EQ(reports[0], "Copy " + src + "/sub/changing.txt to " + dst +
                                      "/sub/changing.txt: " + row.expectedError)
                << row.name;
            EXPECT_EQ(FilesOnly(destAfter), TreeState()) << row.name << ": " << Differences({}, destAfter);
        }
        if (row.expectedError == Text(ENOENT)) {
            EXPECT_FALSE(testing_support::Exists(dst + "/sub"))
                << row.name << ": no folder for a vanished file";
        }
        EXPECT_TRUE(TempLeftovers(dir.Path()).empty()) << row.name;
    }
}

// A destination that fills up under both ways of making the new file (the kernel's unnamed file and the
// hidden named file of file systems without it): the older copy stays, the hidden name is gone, and the
// report carries the disk-full text.
TEST(EngineFaultTest, DiskFullUnderEitherTemporaryFileKeepsTheOlderCopy) {
    for (const bool named : {false, true}) {
        const char* rowName = named ? "named temporary file" : "unnamed temporary file";
        CTempDir dir;
        const std::string src = dir / "src";
        const std::string mountPoint = dir / "dst";
        MakeFolder(mountPoint);
        reliability::CTmpfsMount disk(mountPoint, "size=512k");
        if (!disk.Mounted()) {
            GTEST_SKIP() << disk.Reason();
        }
        WriteFile(src + "/big.bin", std::string(2 << 20, 'n'));
        WriteFile(mountPoint + "/big.bin", "old copy");
        SetModTime(src + "/big.bin", 2000000000);
        SetModTime(mountPoint + "/big.bin", 1000000000);
        const TreeState before = Snapshot(mountPoint);

        platform::TestForceNamedTempFiles(named);
        const std::vector<std::string> reports = RunWithChange(src, mountPoint, RunBackup, [] {});
        platform::TestClearFaults();

        ASSERT_EQ(reports.size(), 1u) << rowName;
        EXPECT_EQ(reports[0], "Copy " + src + "/big.bin to " + mountPoint + "/big.bin: " + Text(ENOSPC))
            << rowName;
        EXPECT_EQ(Differences(before, Snapshot(mountPoint)), "") << rowName;
        EXPECT_TRUE(TempLeftovers(mountPoint).empty()) << rowName;
    }
}

// A link planted in the destination where the source has a folder of the same name (left there by an
// earlier run from a handed-over stick, say) must not lead a copy out of the tree: neither a backup
// writing through it nor a synchronize reading through it into the source. When the link is a file of
// the scan, the pairing stops at the folder of the same name; when the ignore list hides the link (the
// stick's own settings file chooses that list), the copy must refuse the path.
TEST(EngineFaultTest, LinkedFolderInATreeIsNeverWrittenOrReadThrough) {
    struct Row {
        const char* name;
        int mode;
        int64_t sourceTime;      // of the file in the source; the file outside the tree is at 1500000000
        const char* linkName;    // the destination's link, and the source's folder of the same name
        const char* ignore;      // the run's ignore list
        const char* expectText;  // in the stop message
    };
    const Row rows[] = {
        {"backup, link paired with the folder", RunBackup, 2000000000, "sub", "", "Is a directory"},
        {"synchronize, link paired with the folder", RunSynchronize, 1000000000, "sub", "", "Is a directory"},
        {"backup writing through an ignored link", RunBackup, 2000000000, "sub.lnk", "lnk",
         "Too many levels of symbolic links"},
        {"synchronize reading through an ignored link", RunSynchronize, 1000000000, "sub.lnk", "lnk",
         "Too many levels of symbolic links"},
    };
    for (const Row& row : rows) {
        CTempDir dir;
        const std::string src = dir / "src";
        const std::string dst = dir / "dst";
        const std::string outside = dir / "outside";
        const std::string folder = row.linkName;
        WriteFile(outside + "/key.txt", "outside the trees");
        SetModTime(outside + "/key.txt", 1500000000);
        WriteFile(src + "/" + folder + "/key.txt", "from the stick");
        SetModTime(src + "/" + folder + "/key.txt", row.sourceTime);
        MakeFolder(dst);
        ASSERT_EQ(symlink(outside.c_str(), (dst + "/" + folder).c_str()), 0);
        const TreeState outsideBefore = Snapshot(outside);
        const TreeState sourceBefore = Snapshot(src);

        std::vector<std::string> reports;
        std::string thrown;
        try {
            reports = RunWithChange(
                src, dst, row.mode, [] {}, row.ignore);
        } catch (const CGenericException& e) {
            thrown = e.GetMessageText();
        }

        EXPECT_EQ(Differences(outsideBefore, Snapshot(outside)), "")
            << row.name << ": written through the link";
        EXPECT_EQ(Differences(sourceBefore, Snapshot(src)), "") << row.name << ": read through the link";
        const std::string said = thrown.empty() ? (reports.empty() ? "" : reports[0]) : thrown;
        EXPECT_NE(said.find(row.expectText), std::string::npos) << row.name << ": " << said;
    }
}

// On a file system without unnamed temporary files a copy killed halfway leaves its hidden
// ".tandrel-XXXXXX" file beside the untouched target. Later runs must not trip over it: it is no file of
// the tree, so neither a backup (which would call it undecided) nor a synchronize (which would copy it
// into the source) sees it.
TEST(EngineFaultTest, KilledCopyLeavesAtMostAHiddenTemporaryFileThatLaterRunsIgnore) {
    constexpr size_t kSize = size_t{64} << 20;
    CTempDir dir;
    const std::string src = dir / "src";
    const std::string dst = dir / "dst";
    WriteFile(src + "/big.bin", std::string(kSize, 'n'));
    WriteFile(dst + "/big.bin", "old copy");
    SetModTime(src + "/big.bin", 2000000000);
    SetModTime(dst + "/big.bin", 1000000000);
    const TreeState oldDest = Snapshot(dst);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        platform::TestForceNamedTempFiles(true);
        _exit(testing_support::CopyAtPaths(src + "/big.bin", dst + "/big.bin") ? 0 : 1);
    }
    bool killed = false;
    int status = 0;
    while (waitpid(child, &status, WNOHANG) != child) {
        // Sizes only: reading the growing file on every look would slow the watch down.
        for (const std::string& name : testing_support::ListNames(dst)) {
            struct stat st;
            if (name.rfind(".tandrel-", 0) == 0 && lstat((dst + "/" + name).c_str(), &st) == 0 &&
                st.st_size > 0 && static_cast<size_t>(st.st_size) < kSize) {
                kill(child, SIGKILL);
                killed = true;
                break;
            }
        }
        if (killed) {
            waitpid(child, &status, 0);
            break;
        }
    }
    if (!killed) {
        GTEST_SKIP() << "the copy ended before it could be caught halfway";
    }
    EXPECT_EQ(Snapshot(dst).at("big.bin"), oldDest.at("big.bin")) << "the target is untouched";
    ASSERT_EQ(TempLeftovers(dst).size(), 1u) << "the killed copy's hidden file stays behind";

    const std::vector<std::string> reports = RunWithChange(src, dst, RunSynchronize, [] {});

    EXPECT_TRUE(reports.empty()) << reports[0];
    EXPECT_EQ(Snapshot(dst).at("big.bin"), Snapshot(src).at("big.bin")) << "the next run copies the file";
    EXPECT_TRUE(TempLeftovers(src).empty()) << "the leftover must not travel into the source";
}

// Before a run counts as done, every file system it wrote to is flushed: a mount point inside the
// destination as well as the roots'.
TEST(EngineFaultTest, FoldersToFlushNameEveryFileSystemACopyLandsOn) {
    engine_test::Trees t;
    testing_support::WriteFile(t.src + "/inner/deep/a", "a");
    testing_support::WriteFile(t.src + "/new/b", "b");
    testing_support::MakeFolder(t.dst + "/inner");
    const reliability::CTmpfsMount mount(t.dst + "/inner", "size=1m");
    if (!mount.Mounted()) {
        GTEST_SKIP() << mount.Reason();
    }
    t.Build(RunBackup);
    // inner/deep is still to be made: it will lie on the mounted file system, new/ on the destination's.
    EXPECT_EQ(FoldersToFlush(*t.builder, RunBackup),
              (std::vector<std::string>{t.dst + "/", t.dst + "/inner/"}));
}

// A run that writes nothing waits for no disk; one archive bit to clear is a write.
TEST(EngineFaultTest, FoldersToFlushAreNoneWhenNoItemWrites) {
    engine_test::Trees t;
    struct Row {
        int flags;
        int archive;
        bool flushes;
    } rows[] = {
        {WorkSame | WorkClearArchive, 0, false},
        {WorkSame | WorkClearArchive, 32, true},
        {WorkBackup | WorkClearArchive, 0, true},
    };
    for (const Row& row : rows) {
        WorkItem same;
        same.m_nFlags = WorkSame | WorkClearArchive;
        same.m_source.m_nArchive = 0;
        WorkItem item = same;
        item.m_nFlags = row.flags;
        item.m_source.m_nArchive = row.archive;
        item.m_source.m_strName = item.m_dest.m_strName = "f";
        t.Empty().m_items = {same, item, same};
        const std::vector<std::string> folders = FoldersToFlush(*t.builder, RunSynchronize);
        EXPECT_EQ(folders.empty() ? "" : folders[0], row.flushes ? t.dst + "/" : "")
            << row.flags << " " << row.archive;
    }
}
