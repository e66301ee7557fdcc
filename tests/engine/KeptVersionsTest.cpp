// SPDX-License-Identifier: GPL-3.0-or-later
// Replaced files kept under .tandrel-versions: what a run keeps, when it stops instead, what pruning
// removes, and that the scan never lists a version.
#include "engine/CheckInOut.h"
#include "engine/KeptVersions.h"
#include "engine/WorkList.h"
#include "platform/FaultSeam.h"
#include "platform/Versions.h"
#include "tests/TestSupport.h"
#include "tests/engine/EngineFakes.h"

#include <unistd.h>

#include <cerrno>
#include <functional>

#include <gtest/gtest.h>

namespace {

using engine_test::CFakeHost;
using engine_test::Trees;
using testing_support::Exists;
using testing_support::Mode;
using testing_support::ModTimeNs;
using testing_support::ReadFile;
using testing_support::SetMode;
using testing_support::SetModTime;
using testing_support::WriteFile;

constexpr char kStamp[] = "2026-03-04 050607";

// name in tree (of t) edited at seconds with text and mode.
void Put(const std::string& tree, const std::string& name, const std::string& text, int64_t seconds,
         unsigned mode = 0644) {
    WriteFile(tree + "/" + name, text);
    SetMode(tree + "/" + name, mode);
    SetModTime(tree + "/" + name, seconds);
}

std::string Version(const std::string& tree, const std::string& name) {
    return tree + "/.tandrel-versions/" + kStamp + "/" + name;
}

TEST(KeptVersions, EveryReplacedFileIsKeptWithItsContentsTimeAndMode) {
    struct Row {
        const char* name;
        int mode;
        int files;       // f0..fN-1 in sub/, the older side replaced
        bool toSource;   // the destination holds the newer edit
        unsigned older;  // mode of the older side
        int linkError;   // the hard link fails with this (EPERM: a medium without links), 0 for none
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
            const std::string name = "sub/f" + std::to_string(i);
            Put(newer, name, "newer edit " + std::to_string(i), 1600000000, row.older);
            Put(older, name, "older edit " + std::to_string(i), 1500000000 + i, row.older);
        }
        Put(t.src, "same", "unchanged", 1400000000);
        Put(t.dst, "same", "unchanged", 1400000000);
        t.Build(row.mode);
        if (row.linkError) {
            platform::TestInjectFault(platform::FaultOp::KeepVersion, 1, row.linkError);
        }
        CFakeHost host;
        t.Execute(host, row.mode, kStamp);
        platform::TestClearFaults();
        EXPECT_TRUE(host.reports.empty()) << row.name << ": " << host.reports.front();
        for (int i = 0; i < row.files; ++i) {
            const std::string name = "sub/f" + std::to_string(i);
            EXPECT_EQ(ReadFile(older + "/" + name), "newer edit " + std::to_string(i)) << row.name;
            EXPECT_EQ(ReadFile(Version(older, name)), "older edit " + std::to_string(i)) << row.name;
            EXPECT_EQ(ModTimeNs(Version(older, name)), (1500000000LL + i) * 1000000000LL) << row.name;
            EXPECT_EQ(Mode(Version(older, name)) & 0777, row.older) << row.name;
        }
        EXPECT_FALSE(Exists(Version(newer, "sub"))) << row.name << ": nothing was replaced there";
        EXPECT_FALSE(Exists(Version(older, "same"))) << row.name << ": only replaced files are kept";
    }
}

TEST(KeptVersions, AFileThatCannotBeKeptIsNotReplaced) {
    struct Row {
        const char* name;
        unsigned mode;  // of both sides: 0444 takes the path of a lifted copy
        std::function<void(Trees&)> block;
        const char* reason;
    };
    const Row rows[] = {
        {"disk full", 0644, [](Trees&) { platform::TestInjectFault(platform::FaultOp::KeepVersion, 1, ENOSPC); },
         "No space left on device"},
        {"versions folder name taken by a file", 0644,
         [](Trees& t) { WriteFile(t.dst + "/.tandrel-versions", "mine"); }, "Not a directory"},
        {"versions folder a link", 0444,
         [](Trees& t) { ASSERT_EQ(symlink(t.src.c_str(), (t.dst + "/.tandrel-versions").c_str()), 0); },
         "Too many levels of symbolic links"},
    };
    for (const Row& row : rows) {
        Trees t;
        Put(t.src, "f", "new", 1600000000, row.mode);
        Put(t.dst, "f", "old", 1500000000, row.mode);
        t.Build(RunSynchronize);
        row.block(t);
        CFakeHost host;
        t.Execute(host, RunSynchronize, kStamp);
        platform::TestClearFaults();
        ASSERT_EQ(host.reports.size(), 1u) << row.name;
        EXPECT_EQ(host.reports[0], "Cannot keep the replaced file " + t.dst + "/f as " + Version(t.dst, "f") +
                                       ": " + row.reason)
            << row.name;
        EXPECT_EQ(ReadFile(t.dst + "/f"), "old") << row.name;
        EXPECT_EQ(Mode(t.dst + "/f") & 0777, row.mode) << row.name;
        EXPECT_EQ(ReadFile(t.src + "/f"), "new") << row.name << ": nothing else was touched";
    }
}

TEST(KeptVersions, PruningRemovesOnlyTheProgramsOldFolders) {
    testing_support::CTempDir dir;
    const std::string versions = dir / "tree/.tandrel-versions";
    const int64_t now = platform::NowSeconds();
    const std::string old = platform::LocalFolderStamp(now - 8 * 86400);
    const std::string recent = platform::LocalFolderStamp(now - 6 * 86400);
    WriteFile(versions + "/" + old + "/deep/er/f", "x");
    WriteFile(versions + "/" + recent + "/f", "x");
    WriteFile(versions + "/2001-01-01 000000x/f", "not a name the program makes");
    WriteFile(versions + "/2001-02-30 000000/f", "no such day");
    WriteFile(versions + "/2001-01-01 000001", "a file, not a folder");
    WriteFile(dir / "outside/f", "reached only through a link");
    ASSERT_EQ(symlink((dir / "outside").c_str(), (versions + "/2001-01-01 000002").c_str()), 0);
    SetMode(versions + "/" + old + "/deep/er/f", 0444);

    EXPECT_TRUE(PruneVersions(dir / "tree", 7, now).empty());
    EXPECT_EQ(testing_support::ListNames(versions),
              (std::vector<std::string>{"2001-01-01 000000x", "2001-01-01 000001", "2001-01-01 000002",
                                        "2001-02-30 000000", recent}));
    EXPECT_EQ(ReadFile(dir / "outside/f"), "reached only through a link");
    EXPECT_TRUE(PruneVersions(dir / "no such tree", 7, now).empty()) << "nothing to prune is no failure";
}

TEST(KeptVersions, NeitherTheScanNorTheLockWalkEntersAVersionsFolder) {
    Trees t;
    WriteFile(t.src + "/a", "a");
    WriteFile(t.src + "/.tandrel-versions/" + kStamp + "/a", "kept");
    WriteFile(t.src + "/sub/.tandrel-versions/b", "kept in a nested tree");
    t.Build(RunBackup);
    ASSERT_EQ(t.builder->m_items.size(), 1u);
    EXPECT_EQ(t.builder->m_items[0].m_source.m_strName, "a");
    EXPECT_EQ(t.sourceScan->m_nTopFolders, 1) << "the bar counts only folders it will show";
    std::vector<std::string> visited;
    WalkFiles(
        t.src, [&](const WalkEntry& entry) { visited.push_back(entry.m_strName); return 1; }, ".");
    EXPECT_EQ(visited, (std::vector<std::string>{"a", "sub"}));
}

}  // namespace
