// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/DirScanner.h"
#include "engine/Executor.h"
#include "engine/FileOps.h"
#include "engine/WorkList.h"
#include "engine/WorkListBuilder.h"
#include "platform/FaultSeam.h"
#include "platform/FileSystem.h"
#include "tests/TestSupport.h"
#include "tests/engine/EngineFakes.h"

#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>

#include <gtest/gtest.h>

namespace {

using engine_test::CFakeHost;
using engine_test::Trees;
using testing_support::CTempDir;
using testing_support::Exists;
using testing_support::ListNames;
using testing_support::ModTimeNs;
using testing_support::ReadFile;
using testing_support::SetModTime;
using testing_support::WriteFile;

std::string Text(int err) {
    return platform::CError(err).Text();
}

bool Archived(const std::string& path) {
    uint32_t attributes = 0;
    EXPECT_PLATFORM_OK(platform::GetAttributes(path, attributes));
    return (attributes & platform::kAttrArchive) != 0;
}

bool ReadOnly(const std::string& path) {
    uint32_t attributes = 0;
    EXPECT_PLATFORM_OK(platform::GetAttributes(path, attributes));
    return (attributes & platform::kAttrReadOnly) != 0;
}

// True when the temporary folder keeps archive records (user extended attributes).
bool ArchiveRecordsWork(const std::string& folder) {
    const std::string probe = folder + "/.archive-probe";
    WriteFile(probe, "p");
    const bool works =
        platform::ChangeAttributeBits(probe, platform::kAttrArchive, false) && !Archived(probe);
    std::remove(probe.c_str());
    return works;
}

WorkItem Item(const std::string& name, int flags, uint64_t sourceTime = 0, uint64_t destTime = 0) {
    WorkItem item;
    item.m_nKind = KindBoth;
    item.m_nFlags = flags;
    item.m_source.m_strName = item.m_dest.m_strName = name;
    item.m_source.m_ftWrite = sourceTime;
    item.m_dest.m_ftWrite = destTime;
    return item;
}

TEST(Executor, RunTitles) {
    struct Row {
        int mode;
        const char* title;
    };
    for (const Row& row :
         {Row{1, "Backup files..."}, Row{2, "Synchronize files..."}, Row{3, "Check in files..."},
          Row{4, "Check out files..."}, Row{0, "TD"}, Row{5, "TD"}}) {
        EXPECT_EQ(GetRunTitle(row.mode), row.title) << row.mode;
    }
}

TEST(Executor, EmptyWorklistOnlyTogglesTheMainWindow) {
    Trees t;
    t.Empty();
    CFakeHost host;
    EXPECT_EQ(t.Execute(host, RunBackup), -1);
    EXPECT_EQ(host.progress.calls,
              (std::vector<std::string>{"caption Backup files...", "disable", "range 0 -1", "enable"}));
    CFakeHost headless(false);
    EXPECT_EQ(t.Execute(headless, 7), -1);
    EXPECT_EQ(headless.progress.calls, (std::vector<std::string>{"disable", "enable"}));
}

TEST(Executor, BackupRunCopiesCreatesFoldersAndClearsArchive) {
    Trees t;
    if (!ArchiveRecordsWork(t.dir.Path())) {
        GTEST_SKIP()
            << "the temporary folder keeps no user extended attributes, so archive bits cannot be cleared";
    }
    WriteFile(t.src + "/a.txt", "new a");
    WriteFile(t.dst + "/a.txt", "old a");
    SetModTime(t.src + "/a.txt", 1600000000, 123456789);
    SetModTime(t.dst + "/a.txt", 1500000000);
    WriteFile(t.src + "/deep/er/b.txt", "b");
    // A default ACL as the kernel stores it: owner rwx, group r-x, others nothing.
    const uint32_t acl[] = {2, 0x00070001, 0xffffffff, 0x00050004, 0xffffffff, 0x00000020, 0xffffffff};
    const bool withAcl =
        setxattr((t.src + "/deep/er").c_str(), "system.posix_acl_default", acl, sizeof acl, 0) == 0;
    WriteFile(t.src + "/same.txt", "same");
    WriteFile(t.dst + "/same.txt", "same");
    SetModTime(t.src + "/same.txt", 1500000000);
    SetModTime(t.dst + "/same.txt", 1500000000);
    t.Build(RunBackup);

    CFakeHost host;
    EXPECT_EQ(t.Execute(host, RunBackup), -1);
    EXPECT_TRUE(host.reports.empty()) << host.reports.front();
    EXPECT_EQ(ReadFile(t.dst + "/a.txt"), "new a");
    EXPECT_EQ(ModTimeNs(t.dst + "/a.txt"), ModTimeNs(t.src + "/a.txt")) << "copies carry the write time";
    EXPECT_EQ(ReadFile(t.dst + "/deep/er/b.txt"), "b") << "missing folders are created";
    char made[64];
    EXPECT_EQ(getxattr((t.dst + "/deep/er").c_str(), "system.posix_acl_default", made, sizeof made),
              withAcl ? static_cast<ssize_t>(sizeof acl) : -1)
        << "a folder made takes its original's default ACL";
    for (const char* name : {"a.txt", "deep/er/b.txt", "same.txt"}) {
        EXPECT_FALSE(Archived(t.src + "/" + name)) << name << ": archive bit of the source cleared";
    }
    EXPECT_TRUE(Archived(t.dst + "/same.txt")) << "the destination's bit is left alone";

    // The progress window follows every item: position and source path.
    std::vector<std::string> expected = {"caption Backup files...", "disable", "range 0 2"};
    for (size_t i = 0; i < t.builder->m_items.size(); ++i) {
        expected.push_back("pos " + std::to_string(i));
        expected.push_back("status " + t.src + "/" + t.builder->m_items[i].m_source.m_strName);
    }
    expected.push_back("enable");
    EXPECT_EQ(host.progress.calls, expected);

    // A second run finds everything equal.
    t.Build(RunBackup);
    for (const WorkItem& item : t.builder->m_items) {
        EXPECT_EQ(item.m_nFlags, 0x0042) << item.m_source.m_strName;
    }
}

// New copies are named before their data need be on disk: until a flush has it there, they carry a time
// that makes the next run copy them again, so a power cut in between cannot leave a copy that looks done.
TEST(Executor, NewCopiesGetTheirTimesOnlyOnceTheirDataIsOnDisk) {
    struct Row {
        const char* name;
        bool flushFails;
    };
    for (const Row& row : {Row{"the flush works", false}, Row{"the flush fails", true}}) {
        Trees t;
        // One copied in a batch, one alone (its folder is made first), both ways of a synchronize; and
        // enough more that two threads share the finishing.
        std::vector<std::string> copies = {t.src + "/a.txt", t.src + "/new/b.txt", t.dst + "/c.txt"};
        for (int i = 0; i < 300; ++i) {
            copies.push_back(t.src + "/many" + std::to_string(i % 3) + "/f" + std::to_string(i));
        }
        for (const std::string& file : copies) {
            WriteFile(file, "x");
            SetModTime(file, 1600000000, 123456789);
        }
        t.Build(RunSynchronize);
        if (row.flushFails) {
            platform::TestInjectFault(platform::FaultOp::Flush, 1, EIO);
        }
        CFakeHost host;
        t.Execute(host, RunSynchronize);
        platform::TestClearFaults();
        ASSERT_EQ(host.reports.size(), row.flushFails ? 1u : 0u) << row.name;
        const int64_t expected =
            row.flushFails ? platform::kProvisionalWriteTime * 1000000000LL : 1600000000123456789LL;
        const bool records = ArchiveRecordsWork(t.dir.Path());
        for (std::string copy : copies) {
            const bool fromDest = copy.compare(0, t.dst.size() + 1, t.dst + "/") == 0;
            copy.replace(0, fromDest ? t.dst.size() : t.src.size(), fromDest ? t.src : t.dst);
            EXPECT_EQ(ModTimeNs(copy), expected) << row.name << ": " << copy;
            // A copy into the source is marked as backed up against its real time.
            if (fromDest && records && !row.flushFails) {
                EXPECT_FALSE(Archived(copy)) << row.name << ": " << copy;
            }
        }
        // The next run copies again exactly what was not finished.
        t.Build(RunSynchronize);
        size_t again = 0;
        for (const WorkItem& item : t.builder->m_items) {
            again += (item.m_nFlags & (WorkSynchronize | WorkBackup | WorkCreate)) != 0;
        }
        EXPECT_EQ(again, row.flushFails ? copies.size() : 0) << row.name;
    }
}

// Names that are not UTF-8 or hold a backslash, empty files and links all survive a run; relative roots
// are made absolute in place.
TEST(Executor, OddNamesEmptyFilesAndLinksAreCopied) {
    Trees t;
    const std::string odd = "caf\xe9 \\ \xff.txt";
    WriteFile(t.src + "/" + odd, "odd");
    WriteFile(t.src + "/empty.txt", "");
    ASSERT_EQ(symlink("../somewhere/else", (t.src + "/link").c_str()), 0);
    SetModTime(t.src + "/link", 1300000000, 4200);
    t.Build(RunBackup);
    ASSERT_EQ(t.builder->m_items.size(), 3u);

    const std::string cwd = platform::CurrentFolder();
    ASSERT_EQ(chdir(t.dir.Path().c_str()), 0);
    std::string s = "src";
    std::string d = "dst/";
    CFakeHost host;
    ExecuteWorkList(host, s, d, *t.builder, RunBackup);
    ASSERT_EQ(chdir(cwd.c_str()), 0);
    EXPECT_EQ(s, t.src + "/");
    EXPECT_EQ(d, t.dst + "/");
    EXPECT_TRUE(host.reports.empty()) << host.reports.front();

    EXPECT_EQ(ReadFile(t.dst + "/" + odd), "odd");
    EXPECT_TRUE(Exists(t.dst + "/empty.txt"));
    EXPECT_EQ(ReadFile(t.dst + "/empty.txt"), "");
    char target[64] = {};
    ASSERT_GT(readlink((t.dst + "/link").c_str(), target, sizeof target - 1), 0) << "copied as a link";
    EXPECT_STREQ(target, "../somewhere/else");
    EXPECT_EQ(ModTimeNs(t.dst + "/link"), ModTimeNs(t.src + "/link"));
    t.Build(RunBackup);
    for (const WorkItem& item : t.builder->m_items) {
        EXPECT_TRUE(item.m_nFlags & WorkSame) << item.m_source.m_strName << ": equal after the copy";
    }
}

TEST(Executor, OnlyALargeCopyShowsItsBytes) {
    Trees t;
    WriteFile(t.src + "/a.txt", "small");
    // 40 MiB with two stretches of data (holes elsewhere where the file system keeps them).
    const std::string big = t.src + "/big.bin";
    WriteFile(big, std::string(size_t{1} << 20, 'x'));
    const int fd = open(big.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(pwrite(fd, "y", 1, off_t{20} << 20), 1);
    EXPECT_EQ(ftruncate(fd, off_t{40} << 20), 0);
    close(fd);
    t.Build(RunBackup);
    CFakeHost host;
    t.Execute(host, RunBackup);
    ASSERT_TRUE(host.reports.empty()) << host.reports.front();

    std::vector<std::string> statuses;
    for (const std::string& call : host.progress.calls) {
        if (call.rfind("status ", 0) == 0) {
            statuses.push_back(call.substr(7));
        }
    }
    ASSERT_GE(statuses.size(), 4u);
    EXPECT_EQ(statuses[0], t.src + "/a.txt") << "a small file shows only its name";
    EXPECT_EQ(statuses[1], big);
    EXPECT_EQ(statuses.back(), "40 of 40 MiB: " + big);
    int last = 0;
    for (size_t i = 2; i + 1 < statuses.size(); ++i) {
        const std::string& text = statuses[i];
        const size_t of = text.find(" of 40 MiB: ");
        ASSERT_NE(of, std::string::npos) << text;
        EXPECT_EQ(text.substr(of + 12), big);
        const int mib = std::stoi(text.substr(0, of));
        EXPECT_GE(mib, last + 8) << "at most one status per 8 MiB";
        EXPECT_LT(mib, 40);
        last = mib;
    }
}

TEST(Executor, StepsOfOneItemRunInOrder) {
    Trees t;
    if (!ArchiveRecordsWork(t.dir.Path())) {
        GTEST_SKIP()
            << "the temporary folder keeps no user extended attributes, so archive bits cannot be cleared";
    }
    WriteFile(t.src + "/f.txt", "from source");
    WriteFile(t.dst + "/f.txt", "from destination");
    SetModTime(t.src + "/f.txt", 1500000000);
    SetModTime(t.dst + "/f.txt", 1500000000);
    WorkItem item = Item("f.txt", WorkSynchronize | WorkBackup | WorkClearArchive,
                         engine_test::FileTime(1500000000), engine_test::FileTime(1500000000));
    item.m_source.m_nReadOnly = item.m_dest.m_nReadOnly = 0;  // both seen by the scan
    t.Empty().m_items.push_back(item);
    CFakeHost host;
    t.Execute(host, RunSynchronize);
    EXPECT_TRUE(host.reports.empty());
    // Destination over source first, then source (now the destination's bytes) back, then the archive bit.
    EXPECT_EQ(ReadFile(t.src + "/f.txt"), "from destination");
    EXPECT_EQ(ReadFile(t.dst + "/f.txt"), "from destination");
    EXPECT_FALSE(Archived(t.src + "/f.txt")) << "the archive bit is cleared after the copies";
}

TEST(Executor, EachProblemGivesItsMessage) {
    const uint64_t early = engine_test::FileTime(1500000000);
    const uint64_t late = engine_test::FileTime(1600000000);
    struct Row {
        const char* name;
        WorkItem item;
        std::function<void(Trees&)> setup;
        std::function<std::string(const std::string& s, const std::string& d)> message;
    };
    const auto both = [](Trees& t) {
        WriteFile(t.src + "/f.txt", "s");
        WriteFile(t.dst + "/f.txt", "d");
    };
    const Row rows[] = {
        {"unknown operation, even with other bits",
         Item("f.txt", WorkUnknown | WorkBackup | WorkClearArchive), both,
         [](auto& s, auto& d) { return "Unkown operation: " + s + " (source) ? " + d + " (destination)"; }},
        {"synchronize copy fails", Item("f.txt", WorkSynchronize, early, late),
         [](Trees& t) { WriteFile(t.src + "/f.txt", "s"); },
         [](auto& s, auto& d) { return "Copy " + d + " to " + s + ": " + Text(ENOENT); }},
        {"backup copy fails", Item("f.txt", WorkBackup, late, early),
         [](Trees& t) { WriteFile(t.dst + "/f.txt", "d"); },
         [](auto& s, auto& d) { return "Copy " + s + " to " + d + ": " + Text(ENOENT); }},
        {"read-only target without the lift", Item("f.txt", WorkBackup, late, early),
         [both](Trees& t) {
             both(t);
             testing_support::SetMode(t.dst + "/f.txt", 0444);
         },
         [](auto& s, auto& d) { return "Copy " + s + " to " + d + ": " + Text(EACCES); }},
        {"archive bit of a missing source", Item("f.txt", WorkSame | WorkClearArchive), [](Trees&) {},
         [](auto& s, auto&) { return s + ": " + Text(ENOENT); }},
    };
    for (const Row& row : rows) {
        Trees t;
        row.setup(t);
        const std::string before =
            testing_support::Exists(t.dst + "/f.txt") ? ReadFile(t.dst + "/f.txt") : "";
        t.Empty().m_items.push_back(row.item);
        CFakeHost host;
        EXPECT_EQ(t.Execute(host, RunSynchronize), 0) << row.name;
        ASSERT_EQ(host.reports.size(), 1u) << row.name;
        EXPECT_EQ(host.reports[0], row.message(t.src + "/f.txt", t.dst + "/f.txt")) << row.name;
        EXPECT_EQ(host.types[0], 0u) << row.name;
        EXPECT_EQ(host.progress.calls.back(), "enable") << row.name;
        if (!before.empty()) {
            EXPECT_EQ(ReadFile(t.dst + "/f.txt"), before)
                << row.name << ": the destination must be untouched";
        }
    }
}

// A source this user may only read keeps its backup mark: the copy stands and the run goes on. Any other
// failure to clear the mark still stops the run.
TEST(Executor, BackupMarksOfSourcesThatCannotBeWrittenAreBestEffort) {
    for (const int err : {EROFS, EACCES, EPERM, EIO}) {
        Trees t;
        WriteFile(t.src + "/a.txt", "a");
        WriteFile(t.src + "/b.txt", "b");
        t.Build(RunBackup);
        CFakeHost host;
        platform::TestInjectFault(platform::FaultOp::SetAttributes, 1, err);
        t.Execute(host, RunBackup);
        platform::TestClearFaults();
        const bool stops = err == EIO;
        EXPECT_EQ(host.reports.size(), stops ? 1u : 0u) << Text(err);
        EXPECT_EQ(testing_support::ListNames(t.dst).size(), stops ? 1u : 2u) << Text(err);
    }
}

TEST(Executor, StopsAtTheFirstProblem) {
    Trees t;
    WriteFile(t.src + "/1.txt", "one");
    WriteFile(t.src + "/2.txt", "two");
    WriteFile(t.src + "/3.txt", "three");
    CWorkListBuilder& b = t.Empty();
    b.m_items.push_back(Item("1.txt", WorkCreate));
    b.m_items.push_back(Item("2.txt", WorkUnknown));
    b.m_items.push_back(Item("3.txt", WorkCreate));
    CFakeHost host;
    t.Execute(host, RunBackup);
    EXPECT_EQ(ReadFile(t.dst + "/1.txt"), "one") << "items before the problem are done";
    EXPECT_FALSE(Exists(t.dst + "/2.txt"));
    EXPECT_FALSE(Exists(t.dst + "/3.txt")) << "items after the problem are untouched";
    ASSERT_EQ(host.reports.size(), 1u);
    const std::vector<std::string>& calls = host.progress.calls;
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[calls.size() - 3], "status " + t.src + "/2.txt") << "the bar stays at the stopping item";
    EXPECT_EQ(calls.back(), "enable");
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "pos 2"), 0);
}

TEST(Executor, ReadOnlyTargetsAreLiftedAndRestored) {
    Trees t;
    WriteFile(t.src + "/ro.txt", "new");
    WriteFile(t.dst + "/ro.txt", "old");
    WriteFile(t.dst + "/back.txt", "newer in destination");
    WriteFile(t.src + "/back.txt", "older in source");
    testing_support::SetMode(t.src + "/ro.txt", 0444);
    testing_support::SetMode(t.dst + "/ro.txt", 0444);
    testing_support::SetMode(t.dst + "/back.txt", 0444);
    testing_support::SetMode(t.src + "/back.txt", 0444);
    SetModTime(t.src + "/ro.txt", 1600000000);
    SetModTime(t.dst + "/ro.txt", 1500000000);
    SetModTime(t.dst + "/back.txt", 1600000000);
    SetModTime(t.src + "/back.txt", 1500000000);
    t.Build(RunSynchronize);
    for (const WorkItem& item : t.builder->m_items) {
        ASSERT_TRUE(item.m_nFlags & (WorkSourceReadOnly | WorkDestReadOnly)) << item.m_source.m_strName;
    }
    CFakeHost host;
    t.Execute(host, RunSynchronize);
    EXPECT_TRUE(host.reports.empty()) << host.reports.front();
    EXPECT_EQ(ReadFile(t.dst + "/ro.txt"), "new");
    EXPECT_EQ(ReadFile(t.src + "/back.txt"), "newer in destination");
    EXPECT_TRUE(ReadOnly(t.dst + "/ro.txt")) << "read-only again after the copy";
    EXPECT_TRUE(ReadOnly(t.src + "/back.txt")) << "read-only again after the copy";
}

TEST(Executor, FailingCopyLeavesTheOldTarget) {
    Trees t;
    WriteFile(t.src + "/f.txt", "new contents");
    WriteFile(t.dst + "/f.txt", "old contents");
    SetModTime(t.src + "/f.txt", 1600000000);
    SetModTime(t.dst + "/f.txt", 1500000000, 777);
    testing_support::SetMode(t.dst + "/f.txt", 0444);
    testing_support::SetMode(t.src + "/f.txt", 0444);
    t.Build(RunBackup);
    ASSERT_EQ(t.builder->m_items.at(0).m_nFlags, 0x1044);
    const std::vector<std::string> namesBefore = ListNames(t.dst);
    const int64_t timeBefore = ModTimeNs(t.dst + "/f.txt");

    platform::TestInjectFault(platform::FaultOp::CopyData, 1, ENOSPC);
    CFakeHost host;
    t.Execute(host, RunBackup);
    platform::TestClearFaults();

    ASSERT_EQ(host.reports.size(), 1u);
    EXPECT_EQ(host.reports[0], "Copy " + t.src + "/f.txt to " + t.dst + "/f.txt: " + Text(ENOSPC))
        << "the copy's error, not that of restoring the read-only bit";
    EXPECT_EQ(ReadFile(t.dst + "/f.txt"), "old contents");
    EXPECT_EQ(ModTimeNs(t.dst + "/f.txt"), timeBefore);
    EXPECT_EQ(ListNames(t.dst), namesBefore) << "no temporary file is left";
    EXPECT_TRUE(ReadOnly(t.dst + "/f.txt")) << "the lifted bit is restored after a failed copy";

    // When restoring the bit fails too, the copy's error is still the one reported; when only the
    // restore fails, the copy counts as failed with the restore's error.
    struct Row {
        const char* name;
        bool copyFails;
        int reported;
    };
    for (const Row& row :
         {Row{"copy and restore fail", true, ENOSPC}, Row{"only the restore fails", false, EIO}}) {
        if (row.copyFails) {
            platform::TestInjectFault(platform::FaultOp::CopyData, 1, ENOSPC);
        }
        platform::TestInjectFault(platform::FaultOp::SetAttributes, 2, EIO);  // the first one lifts the bit
        CFakeHost again;
        t.Execute(again, RunBackup);
        platform::TestClearFaults();
        ASSERT_EQ(again.reports.size(), 1u) << row.name;
        EXPECT_EQ(again.reports[0], "Copy " + t.src + "/f.txt to " + t.dst + "/f.txt: " + Text(row.reported))
            << row.name;
        EXPECT_EQ(ReadFile(t.dst + "/f.txt"), row.copyFails ? "old contents" : "new contents") << row.name;
        testing_support::SetMode(t.dst + "/f.txt", 0444);
    }
}

TEST(FileOps, ChangeAttributes) {
    CTempDir dir;
    WriteFile(dir / "file", "x");
    const std::string f = dir / "file";
    EXPECT_EQ(ChangeAttributes(f, platform::kAttrReadOnly, AttrTest), 0);
    EXPECT_NE(ChangeAttributes(f, platform::kAttrReadOnly, AttrAdd), 0);
    EXPECT_EQ(ChangeAttributes(f, platform::kAttrReadOnly, AttrTest), 1);
    EXPECT_EQ(testing_support::Mode(f) & 0222, 0u);
    EXPECT_NE(ChangeAttributes(f, platform::kAttrReadOnly, AttrRemove), 0);
    EXPECT_EQ(ChangeAttributes(f, platform::kAttrReadOnly, AttrTest), 0);
    EXPECT_EQ(ChangeAttributes(f, platform::kAttrReadOnly, 9), 1);
    EXPECT_EQ(ChangeAttributes(dir / "missing", platform::kAttrReadOnly, AttrTest), 0);
    EXPECT_EQ(platform::LastError().Kind(), platform::ErrorKind::NotFound);
    platform::TestInjectFault(platform::FaultOp::SetAttributes, 1, EIO);
    EXPECT_EQ(ChangeAttributes(f, platform::kAttrReadOnly, AttrAdd), 0);
    platform::TestClearFaults();
    EXPECT_EQ(platform::LastError().Errno(), EIO) << "a failed write is an error";
}

// A missing target folder is made, as its original, but only for a source that is still there.
TEST(Executor, OnlyACopyWhoseSourceIsThereMakesItsFolder) {
    for (const bool sourceThere : {false, true}) {
        Trees t;
        if (sourceThere) {
            WriteFile(t.src + "/new/folder/t.txt", "x");
        }
        t.Empty().m_items.push_back(Item("new/folder/t.txt", WorkBackup));
        CFakeHost host;
        t.Execute(host, RunBackup);
        const std::string s = t.src + "/new/folder/t.txt";
        const std::string d = t.dst + "/new/folder/t.txt";
        EXPECT_EQ(host.reports,
                  sourceThere ? std::vector<std::string>()
                              : std::vector<std::string>{"Copy " + s + " to " + d + ": " + Text(ENOENT)});
        EXPECT_EQ(Exists(t.dst + "/new"), sourceThere);
        if (sourceThere) {
            EXPECT_EQ(ReadFile(d), "x");
        }
    }
}

}  // namespace
