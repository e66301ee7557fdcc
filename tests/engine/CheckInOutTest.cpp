// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CheckInOut.h"
#include "engine/WorkList.h"
#include "platform/FileSystem.h"
#include "engine/RunHost.h"
#include "res/Strings.h"
#include "tests/TestSupport.h"
#include "tests/engine/EngineFakes.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>

#include <gtest/gtest.h>

namespace {

using engine_test::CFakeHost;
using testing_support::CTempDir;
using testing_support::Mode;
using testing_support::WriteFile;

bool ReadOnly(const std::string& path) {
    return (Mode(path) & 0200) == 0;
}

// The files below folder that lack (readOnly true) or have (false) the read-only bit, "" when none.
// Links are not files here and are never descended.
std::string Offenders(const std::string& folder, bool readOnly) {
    std::vector<platform::DirEntry> entries;
    EXPECT_PLATFORM_OK(platform::ListFolder(folder, entries));
    std::string offenders;
    for (const platform::DirEntry& e : entries) {
        const std::string path = folder + "/" + e.name;
        if (e.kind == platform::EntryKind::Folder) {
            offenders += Offenders(path, readOnly);
        } else if (e.kind == platform::EntryKind::File && ReadOnly(path) != readOnly) {
            offenders += " " + path;
        }
    }
    return offenders;
}

std::vector<std::string> Walk(const std::string& folder) {
    std::vector<std::string> seen;
    const size_t cut = folder.size() + (folder.back() == '/' ? 0 : 1);
    WalkFiles(folder, [&](const WalkEntry& e) {
        seen.push_back((e.m_bFolder ? "D " : "F ") + e.m_strFullPath.substr(cut));
        EXPECT_EQ(e.m_strFullPath.substr(e.m_strFullPath.size() - e.m_strName.size()), e.m_strName);
    });
    std::sort(seen.begin(), seen.end());
    return seen;
}

TEST(CheckInOut, WalkSkipsLinksAndUnenterableFolders) {
    CTempDir dir;
    for (const char* name : {"a.txt", "b.cpp", "noext", "sub/c.txt", "sub/deeper/d.h"}) {
        WriteFile(dir / name, "x");
    }
    WriteFile(dir / "outside/o.txt", "x");
    ASSERT_EQ(symlink((dir / "a.txt").c_str(), (dir / "sub/filelink.txt").c_str()), 0);
    ASSERT_EQ(symlink((dir / "outside").c_str(), (dir / "dirlink").c_str()), 0);
    const std::string root = dir / "";
    EXPECT_EQ(Walk(root),
              (std::vector<std::string>{"D outside", "D sub", "D sub/deeper", "F a.txt", "F b.cpp", "F noext",
                                        "F outside/o.txt", "F sub/c.txt", "F sub/deeper/d.h"}));
    EXPECT_TRUE(Walk(dir / "missing").empty());
    EXPECT_TRUE(Walk(dir / "a.txt").empty()) << "a file is no folder to walk";
}

// Root may enter any folder, so the walk runs in a helper process as the ordinary user 65534, on a tree
// that user owns.
TEST(CheckInOut, UnenterableFoldersAreNeitherTestedNorLockedAsOrdinaryUser) {
    if (!testing_support::IsRoot()) {
        GTEST_SKIP() << "needs root to hand a tree to user 65534";
    }
    CTempDir dir;
    WriteFile(dir / "t/open.txt", "x");
    WriteFile(dir / "t/sub/inner.txt", "x");
    WriteFile(dir / "t/listable/hidden1.txt", "x");
    WriteFile(dir / "t/shut/hidden2.txt", "x");
    ASSERT_EQ(testing_support::RunCommand("chown -R 65534:65534 " + testing_support::ShellQuote(dir / "t")),
              0);
    testing_support::SetMode(dir / "t/listable", 0600);  // may be listed, not entered
    testing_support::SetMode(dir / "t/shut", 0000);

    std::string output;
    const int status = testing_support::RunAsOrdinaryUser(
        testing_support::ShellQuote(ENGINE_HELPER) + " lock " + testing_support::ShellQuote(dir / "t"),
        &output);
    if (status == -1) {
        GTEST_SKIP() << "cannot run a command as user 65534 here (setpriv missing)";
    }
    ASSERT_EQ(status, 0) << output;
    std::vector<std::string> visited;
    for (size_t pos = output.find(' '); pos != std::string::npos;) {
        const size_t next = output.find(' ', pos + 1);
        visited.push_back(
            output.substr(pos + 1, next == std::string::npos ? std::string::npos : next - pos - 1));
        pos = next;
    }
    std::sort(visited.begin(), visited.end());
    EXPECT_EQ(visited, (std::vector<std::string>{"inner.txt", "open.txt"})) << output;
    EXPECT_TRUE(ReadOnly(dir / "t/open.txt"));
    EXPECT_TRUE(ReadOnly(dir / "t/sub/inner.txt"));
    EXPECT_FALSE(ReadOnly(dir / "t/listable/hidden1.txt"));
    EXPECT_FALSE(ReadOnly(dir / "t/shut/hidden2.txt"));
}

// Each tree is given file by file ('r' read-only, 'w' writable) for src a.txt, sub/b.txt and dst a.txt,
// sub/c.txt: a guard that looked at one tree only, or at one file per tree, lets some row through.
TEST(CheckInOut, GuardPassesOnlyTheExactLockState) {
    struct Row {
        const char* name;
        int mode;
        const char* src;
        const char* dst;
        bool passes;
    };
    const Row rows[] = {
        {"check-out when checked in", RunCheckOut, "rr", "ww", true},
        {"check-out, one read-only destination file", RunCheckOut, "rr", "wr", false},
        {"check-out, one writable source file", RunCheckOut, "rw", "ww", false},
        {"check-out of two writable trees", RunCheckOut, "ww", "ww", false},
        {"check-out when checked out", RunCheckOut, "ww", "rr", false},
        {"check-out of two locked trees", RunCheckOut, "rr", "rr", false},
        {"check-out of two mixed trees", RunCheckOut, "wr", "rw", false},
        {"check-in when checked out", RunCheckIn, "ww", "rr", true},
        {"check-in, one writable destination file", RunCheckIn, "ww", "rw", false},
        {"check-in, one read-only source file", RunCheckIn, "wr", "rr", false},
        {"check-in of two writable trees", RunCheckIn, "ww", "ww", false},
        {"check-in when checked in", RunCheckIn, "rr", "ww", false},
        {"check-in of two locked trees", RunCheckIn, "rr", "rr", false},
        {"check-in of two mixed trees", RunCheckIn, "rw", "wr", false},
        {"backup is never guarded", RunBackup, "ww", "ww", true},
    };
    for (const Row& row : rows) {
        CTempDir dir;
        const std::string src = dir / "src";
        const std::string dst = dir / "dst";
        const std::vector<std::pair<std::string, char>> files = {{src + "/a.txt", row.src[0]},
                                                                 {src + "/sub/b.txt", row.src[1]},
                                                                 {dst + "/a.txt", row.dst[0]},
                                                                 {dst + "/sub/c.txt", row.dst[1]}};
        for (const auto& [path, mark] : files) {
            WriteFile(path, "x");
            testing_support::SetMode(path, mark == 'r' ? 0444 : 0644);
        }
        CCheckInOutState state;
        CFakeHost host;
        EXPECT_EQ(CheckInOutGuard(row.mode, src, dst, state, host), row.passes) << row.name;
        const char* refusal = row.mode == RunCheckOut ? "Already checked out!" : "Already checked in!";
        EXPECT_EQ(host.reports, row.passes ? std::vector<std::string>{} : std::vector<std::string>{refusal})
            << row.name;
        EXPECT_EQ(host.types, row.passes ? std::vector<unsigned>{} : std::vector<unsigned>{kMbIconHand})
            << row.name;
        for (const auto& [path, mark] : files) {
            EXPECT_EQ(ReadOnly(path), mark == 'r') << row.name << ": the guard only reads " << path;
        }
    }
}

TEST(CheckInOut, UnlockAfterConfirmCancelOrAbort) {
    struct Row {
        const char* name;
        int mode;
        bool confirmed;
        bool srcReadOnlyAfter;
        bool dstReadOnlyAfter;
    };
    const Row rows[] = {
        {"confirmed check-out", RunCheckOut, true, false, true},
        {"cancelled check-out", RunCheckOut, false, true, false},
        {"confirmed check-in", RunCheckIn, true, true, false},
        {"cancelled check-in", RunCheckIn, false, false, true},
    };
    for (const Row& row : rows) {
        CTempDir dir;
        const std::string src = dir / "src";
        const std::string dst = dir / "dst";
        WriteFile(src + "/a.txt", "a");
        WriteFile(src + "/sub/deep/b.txt", "b");
        WriteFile(dst + "/c.txt", "c");
        WriteFile(dir / "elsewhere.txt", "e");
        ASSERT_EQ(symlink((dir / "elsewhere.txt").c_str(), (src + "/link").c_str()), 0);
        CCheckInOutState state;
        LockTrees(src, dst, state);
        EXPECT_EQ(Offenders(src, true), "") << row.name;
        EXPECT_EQ(Offenders(dst, true), "") << row.name;
        EXPECT_FALSE(ReadOnly(dir / "elsewhere.txt")) << row.name << ": a link's target is never locked";
        EXPECT_TRUE(IsAllReadOnly(state, src)) << row.name;
        EXPECT_FALSE(IsNoneReadOnly(state, dst)) << row.name;

        UnlockTrees(row.mode, row.confirmed, src, dst, state);
        EXPECT_EQ(state.m_nCheckOp, CheckOpClearReadOnly) << row.name;
        EXPECT_EQ(Offenders(src, row.srcReadOnlyAfter), "") << row.name;
        EXPECT_EQ(Offenders(dst, row.dstReadOnlyAfter), "") << row.name;
    }
}

TEST(CheckInOut, TestsOnEmptyMissingAndMixedTrees) {
    CTempDir dir;
    testing_support::MakeFolder(dir / "empty/sub");
    WriteFile(dir / "mixed/deep/ro.txt", "x");
    WriteFile(dir / "mixed/rw.txt", "x");
    testing_support::SetMode(dir / "mixed/deep/ro.txt", 0444);
    CCheckInOutState state;
    struct Row {
        const char* name;
        std::string folder;
        bool all;
        bool none;
    };
    const Row rows[] = {
        {"empty tree", dir / "empty", true, true},
        {"missing folder", dir / "missing", true, true},
        {"one read-only and one writable file", dir / "mixed", false, false},
        {"only the read-only file", dir / "mixed/deep", true, false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(IsAllReadOnly(state, row.folder), row.all) << row.name;
        EXPECT_EQ(state.m_nCheckOp, CheckOpTestAll);
        EXPECT_EQ(IsNoneReadOnly(state, row.folder), row.none) << row.name;
        EXPECT_EQ(state.m_nCheckOp, CheckOpTestNone);
    }
    // The visitor leaves folders alone.
    WalkEntry folder{"deep", dir / "mixed/deep", true, nullptr};
    state.m_nCheckOp = CheckOpSetReadOnly;
    CheckInOutVisitor(folder, state);
    EXPECT_EQ(Mode(dir / "mixed/deep") & 0200, 0200u);
    WalkEntry missing{"gone", dir / "gone", false, nullptr};
    state.m_nCheckOp = CheckOpTestAll;
    state.m_bAllReadOnly = 1;
    CheckInOutVisitor(missing, state);
    EXPECT_EQ(state.m_bAllReadOnly, 0) << "a file whose attributes cannot be read is not read-only";
}

// The lock is the read-only state: a tree on a medium that cannot keep it (exFAT and NTFS through FUSE)
// is refused with its path, on either side, before anything is tested or locked. It needs such a medium
// mounted: the media suite (tests/media) names one in TANDREL_NO_READONLY_DIR.
TEST(CheckInOut, RefusedWhereAMediumCannotKeepReadOnly) {
    const char* medium = getenv("TANDREL_NO_READONLY_DIR");
    if (!medium || !*medium) {
        GTEST_SKIP() << "needs a mounted medium without read-only files; tests/media runs it on one";
    }
    CTempDir dir;
    const std::string local = dir / "Data";
    const std::string stick = std::string(medium) + "/Data";
    testing_support::MakeFolder(local);
    testing_support::MakeFolder(stick);
    WriteFile(stick + "/a.txt", "a");
    for (const int mode : {RunCheckOut, RunCheckIn}) {
        for (const bool stickIsSource : {false, true}) {
            CCheckInOutState state;
            CFakeHost host;
            EXPECT_FALSE(CheckInOutGuard(mode, stickIsSource ? stick : local, stickIsSource ? local : stick,
                                         state, host));
            EXPECT_EQ(host.reports, std::vector<std::string>{stick + res::kNoReadOnly})
                << mode << stickIsSource;
            EXPECT_EQ(host.types, std::vector<unsigned>{kMbIconHand});
        }
    }
    testing_support::RemoveTree(stick);
}

// The lock walk changes each file through its folder held open: a folder exchanged for a link to a foreign
// folder while the walk is inside it sends no change there.
TEST(CheckInOut, TheLockWalkNeverFollowsAFolderSwappedForALink) {
    CTempDir dir;
    for (const char* name : {"tree/sub/a", "tree/sub/b", "foreign/a", "foreign/b"}) {
        WriteFile(dir / name, "x");
    }
    ASSERT_EQ(symlink((dir / "foreign").c_str(), (dir / "link").c_str()), 0);
    CCheckInOutState state;
    state.m_nCheckOp = CheckOpSetReadOnly;
    bool swapped = false;
    WalkFiles(dir / "tree", [&](const WalkEntry& entry) {
        if (!entry.m_bFolder && !swapped) {
            // tree/sub is now the link; the folder itself lies at dir/link.
            swapped = renameat2(AT_FDCWD, (dir / "tree/sub").c_str(), AT_FDCWD, (dir / "link").c_str(),
                                RENAME_EXCHANGE) == 0;
        }
        CheckInOutVisitor(entry, state);
    });
    ASSERT_TRUE(swapped);
    EXPECT_EQ(Mode(dir / "foreign/a") & 0200, 0200u);
    EXPECT_EQ(Mode(dir / "foreign/b") & 0200, 0200u);
    EXPECT_EQ(Mode(dir / "link/a") & 0222, 0u) << "the walk's own folder, moved";
    EXPECT_EQ(Mode(dir / "link/b") & 0222, 0u);
}

}  // namespace
