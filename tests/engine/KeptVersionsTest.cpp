// SPDX-License-Identifier: GPL-3.0-or-later
// Replaced files kept under .tandrel-versions: what a run keeps, when it stops instead, what pruning
// removes, and that no walk enters a versions folder.
#include "engine/CheckInOut.h"
#include "engine/KeptVersions.h"
#include "engine/WorkList.h"
#include "platform/FaultSeam.h"
#include "tests/TestSupport.h"
#include "tests/engine/EngineFakes.h"

#include <unistd.h>

#include <cerrno>
#include <functional>

#include <gtest/gtest.h>

namespace {

using engine_test::CFakeHost;
using engine_test::Trees;
using testing_support::Mode;
using testing_support::ReadFile;
using testing_support::WriteFile;

constexpr char kStamp[] = "2026-03-04 050607";

void Put(const std::string& path, const std::string& text, int64_t seconds, unsigned mode = 0644) {
    WriteFile(path, text);
    testing_support::SetMode(path, mode);
    testing_support::SetModTime(path, seconds);
}

std::string Version(const std::string& tree, const std::string& name) {
    return tree + "/.tandrel-versions/" + kStamp + "/" + name;
}

TEST(KeptVersions, EveryReplacedFileIsKeptWithItsContentsTimeAndMode) {
    struct Row {
        const char* name;
        int mode, files;
        bool toSource;   // the destination holds the newer edit
        unsigned older;  // both sides' mode: 0444 takes the path of a lifted copy
        int linkError;   // the first hard link fails with this
    };
    const Row rows[] = {
        {"synchronize, both sides edited", RunSynchronize, 1, false, 0644, 0},
        {"synchronize back into the source", RunSynchronize, 1, true, 0640, 0},
        {"backup replacing 100 files", RunBackup, 100, false, 0644, 0},
        {"read-only target lifted, kept read-only", RunSynchronize, 1, false, 0444, 0},
        {"medium without hard links: moved", RunBackup, 3, false, 0644, EPERM},
        {"another file system inside the tree: copied", RunBackup, 3, false, 0644, EXDEV},
    };
    for (const Row& row : rows) {
        Trees t;
        const std::string& newer = row.toSource ? t.dst : t.src;
        const std::string& older = row.toSource ? t.src : t.dst;
        for (int i = 0; i < row.files; ++i) {
            Put(newer + "/sub/f" + std::to_string(i), "new", 1600000000, row.older);
            Put(older + "/sub/f" + std::to_string(i), "old" + std::to_string(i), 1500000000 + i, row.older);
        }
        Put(t.src + "/same", "unchanged", 1400000000);
        Put(t.dst + "/same", "unchanged", 1400000000);
        t.Build(row.mode);
        platform::TestInjectFault(platform::FaultOp::KeepVersion, row.linkError ? 1 : 0, row.linkError);
        CFakeHost host;
        t.Execute(host, row.mode, kStamp);
        platform::TestClearFaults();
        EXPECT_TRUE(host.reports.empty()) << row.name << ": " << host.reports.front();
        for (int i = 0; i < row.files; ++i) {
            const std::string name = "sub/f" + std::to_string(i);
            EXPECT_EQ(ReadFile(older + "/" + name), "new") << row.name;
            EXPECT_EQ(ReadFile(Version(older, name)), "old" + std::to_string(i)) << row.name;
            EXPECT_EQ(testing_support::ModTimeNs(Version(older, name)), (1500000000LL + i) * 1000000000LL);
            EXPECT_EQ(Mode(Version(older, name)) & 0777, row.older) << row.name;
        }
        EXPECT_EQ(testing_support::ListTree(newer + "/.tandrel-versions").size(), 0u) << row.name;
        EXPECT_FALSE(testing_support::Exists(Version(older, "same"))) << row.name;
    }
}

TEST(KeptVersions, AFileThatCannotBeKeptIsNotReplaced) {
    struct Row {
        const char* name;
        unsigned mode;  // of both sides: 0444 takes the path of a lifted copy
        std::function<void(Trees&)> block;
        const char* reason;  // the message's end; a message that begins "Copy " when the copy failed
    };
    const auto fail = [](platform::FaultOp op, int err) { platform::TestInjectFault(op, 1, err); };
    const Row rows[] = {
        {"disk full", 0644, [&](Trees&) { fail(platform::FaultOp::KeepVersion, ENOSPC); },
         "No space left on device"},
        {"moved, then the copy failed: moved back", 0644,
         [&](Trees&) {
             fail(platform::FaultOp::KeepVersion, EPERM), fail(platform::FaultOp::CopyRename, EIO);
         },
         "Copy : Input/output error"},
        {"versions folder name taken by a file", 0644,
         [](Trees& t) { WriteFile(t.dst + "/.tandrel-versions", "mine"); }, "Not a directory"},
        {"versions folder a link", 0444,
         [](Trees& t) { ASSERT_EQ(symlink(t.src.c_str(), (t.dst + "/.tandrel-versions").c_str()), 0); },
         "Too many levels of symbolic links"},
    };
    for (const Row& row : rows) {
        Trees t;
        Put(t.src + "/f", "new", 1600000000, row.mode);
        Put(t.dst + "/f", "old", 1500000000, row.mode);
        t.Build(RunSynchronize);
        row.block(t);
        CFakeHost host;
        t.Execute(host, RunSynchronize, kStamp);
        platform::TestClearFaults();
        const std::string copy = "Copy " + t.src + "/f to " + t.dst + "/f: " + (row.reason + 7);
        EXPECT_EQ(host.reports,
                  std::vector<std::string>{std::string(row.reason).rfind("Copy ", 0) == 0
                                               ? copy
                                               : "Cannot keep the replaced file " + t.dst + "/f as " +
                                                     Version(t.dst, "f") + ": " + row.reason})
            << row.name;
        EXPECT_EQ(ReadFile(t.dst + "/f"), "old") << row.name;
        EXPECT_EQ(Mode(t.dst + "/f") & 0777, row.mode) << row.name;
    }
}

TEST(KeptVersions, PruningRemovesOnlyTheProgramsOldFolders) {
    testing_support::CTempDir dir;
    const std::string versions = dir / "tree/.tandrel-versions/";
    const int64_t now = platform::NowSeconds();
    const std::string old = platform::LocalFolderStamp(now - 8 * 86400);
    const std::string recent = platform::LocalFolderStamp(now - 6 * 86400);
    Put(versions + old + "/deep/er/f", "x", 0, 0444);
    WriteFile(versions + recent + "/f", "x");
    WriteFile(versions + "2001-01-01 000000x/f", "not a name the program makes");
    WriteFile(versions + "2001-02-30 000000/f", "no such day");
    WriteFile(versions + "2001-01-01 000001", "a file, not a folder");
    WriteFile(dir / "outside/f", "reached only through a link");
    ASSERT_EQ(symlink((dir / "outside").c_str(), (versions + "2001-01-01 000002").c_str()), 0);
    EXPECT_TRUE(PruneVersions(dir / "tree", 7, now).empty());
    EXPECT_EQ(testing_support::ListNames(versions),
              (std::vector<std::string>{"2001-01-01 000000x", "2001-01-01 000001", "2001-01-01 000002",
                                        "2001-02-30 000000", recent}));
    EXPECT_EQ(ReadFile(dir / "outside/f"), "reached only through a link");
}

TEST(KeptVersions, NeitherTheScanNorTheLockWalkEntersAVersionsFolder) {
    Trees t;
    WriteFile(t.src + "/a", "a");
    WriteFile(t.src + "/.tandrel-versions/" + kStamp + "/a", "kept");
    WriteFile(t.src + "/sub/.tandrel-versions/b", "kept in a nested tree");
    t.Build(RunBackup);
    ASSERT_EQ(t.builder->m_items.size(), 1u);
    EXPECT_EQ(t.builder->m_items[0].m_source.m_strName, "a");
    EXPECT_EQ(t.sourceScan->m_nTopFolders, 1) << "the bar counts only folders it shows";
    std::vector<std::string> visited;
    WalkFiles(t.src, [&](const WalkEntry& entry) { visited.push_back(entry.m_strName); });
    EXPECT_EQ(visited, (std::vector<std::string>{"a", "sub"}));
}

}  // namespace
