// SPDX-License-Identifier: GPL-3.0-or-later
// Folder walks by handle (CFolder) and ListFolder.
#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>

#include "platform/FileSystem.h"
#include "platform/Folder.h"
#include "tests/platform/PlatformTestUtil.h"

namespace {

using platform::CFolder;
using platform::EntryKind;
using testing_support::CTempDir;
using testing_support::ShellQuote;
using testing_support::WriteFile;

std::map<std::string, EntryKind> Kinds(const std::vector<platform::DirEntry>& entries) {
    std::map<std::string, EntryKind> kinds;
    for (const auto& entry : entries) {
        EXPECT_TRUE(kinds.emplace(entry.name, entry.kind).second) << "listed twice: " << entry.name;
    }
    return kinds;
}

TEST(CFolder, ListsAndStatsEveryKindWithoutFollowingOrBlocking) {
    CTempDir dir;
    CTempDir outside;
    WriteFile(dir / "file", "abc");
    WriteFile(dir / "sub/inner", "1");
    WriteFile(outside / "elsewhere", "x");
    ASSERT_EQ(symlink("file", (dir / "link").c_str()), 0);
    ASSERT_EQ(symlink(outside.Path().c_str(), (dir / "folder-link").c_str()), 0);
    ASSERT_EQ(symlink("loop2", (dir / "loop1").c_str()), 0);
    ASSERT_EQ(symlink("loop1", (dir / "loop2").c_str()), 0);
    ASSERT_EQ(symlink("gone", (dir / "dangling").c_str()), 0);
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0644), 0);
    testing_support::SetMode(dir / "file", 0444);
    ASSERT_PLATFORM_OK(platform::ChangeAttributeBits(dir / "file", platform::kAttrArchive, false));
    const std::map<std::string, EntryKind> expected = {
        {"file", EntryKind::File},        {"sub", EntryKind::Folder}, {"link", EntryKind::Link},
        {"folder-link", EntryKind::Link}, {"loop1", EntryKind::Link}, {"loop2", EntryKind::Link},
        {"dangling", EntryKind::Link},    {"pipe", EntryKind::Other},
    };
    const std::string cwd = platform::CurrentFolder();

    auto folder = CFolder::Open(dir.Path());
    ASSERT_TRUE(folder) << platform::LastError().Text();
    std::vector<platform::DirEntry> entries;
    ASSERT_PLATFORM_OK(folder->ReadEntries(entries));
    EXPECT_EQ(Kinds(entries), expected);
    ASSERT_PLATFORM_OK(folder->ReadEntries(entries));
    EXPECT_EQ(Kinds(entries), expected) << "a second listing of the same handle";
    std::vector<platform::DirEntry> byPath;
    ASSERT_PLATFORM_OK(platform::ListFolder(dir.Path(), byPath));
    EXPECT_EQ(Kinds(byPath), expected);

    for (const auto& [name, kind] : expected) {
        platform::FileInfo viaHandle, viaPath;
        ASSERT_PLATFORM_OK(folder->Stat(name, viaHandle)) << name;
        ASSERT_PLATFORM_OK(platform::StatPath(dir / name, viaPath)) << name;
        EXPECT_EQ(viaHandle.kind, kind) << name;
        EXPECT_EQ(viaHandle.writeTime, viaPath.writeTime) << name;
        EXPECT_EQ(viaHandle.size, viaPath.size) << name;
        EXPECT_EQ(viaHandle.readOnly, viaPath.readOnly) << name;
        EXPECT_EQ(viaHandle.archive, viaPath.archive) << name;
    }
    platform::FileInfo file;
    ASSERT_PLATFORM_OK(folder->Stat("file", file));
    EXPECT_TRUE(file.readOnly);
    EXPECT_FALSE(file.archive) << "the archive record is read through the handle too";

    auto sub = folder->OpenChild("sub");
    ASSERT_TRUE(sub);
    ASSERT_PLATFORM_OK(sub->ReadEntries(entries));
    EXPECT_EQ(Kinds(entries), (std::map<std::string, EntryKind>{{"inner", EntryKind::File}}));
    EXPECT_EQ(platform::CurrentFolder(), cwd) << "walks never change the current directory";
    EXPECT_EQ(testing_support::ListNames(outside.Path()), std::vector<std::string>{"elsewhere"});
}

TEST(CFolder, RefusesLinksFilesAndNamesWithSeparators) {
    CTempDir dir;
    WriteFile(dir / "real/a", "a");
    WriteFile(dir / "file", "f");
    ASSERT_EQ(symlink("real", (dir / "link").c_str()), 0);
    struct Row {
        const char* name;
        std::string child;
        int err;
    };
    const Row rows[] = {
        {"link to a folder", "link", ENOTDIR},      {"file", "file", ENOTDIR},  {"missing", "none", ENOENT},
        {"path with separator", "real/..", EINVAL}, {"empty name", "", EINVAL},
    };
    auto folder = CFolder::Open(dir.Path());
    ASSERT_TRUE(folder);
    for (const Row& row : rows) {
        EXPECT_FALSE(folder->OpenChild(row.child)) << row.name;
        EXPECT_EQ(platform::LastError().Errno(), row.err) << row.name;
        if (row.err != EINVAL) {
            EXPECT_FALSE(CFolder::Open(dir / row.child)) << row.name;
            EXPECT_EQ(platform::LastError().Errno(), row.err) << row.name;
        }
    }
    platform::FileInfo info;
    EXPECT_FALSE(folder->Stat("real/a", info));
    EXPECT_EQ(platform::LastError().Errno(), EINVAL);
    std::vector<platform::DirEntry> entries;
    EXPECT_FALSE(platform::ListFolder(dir / "link", entries));
    EXPECT_EQ(platform::LastError().Errno(), ENOTDIR);
}

TEST(CFolder, AFolderThatMayNotBeReadFailsForAnOrdinaryUser) {
    CTempDir dir;
    WriteFile(dir / "closed/secret", "s");
    WriteFile(dir / "searchable/known", "k");
    WriteFile(dir / "open/visible", "v");
    testing_support::SetMode(dir / "closed", 0700);
    testing_support::SetMode(dir / "searchable", 0711);
    testing_support::SetMode(dir / "open", 0755);
    if (!testing_support::IsRoot()) {
        GTEST_SKIP() << "the ordinary user must differ from the owner, which needs root to set up";
    }
    struct Row {
        const char* name;
        std::string args;
        std::string expected;
    };
    const std::string eacces = "error " + std::to_string(EACCES) + "\n";
    const Row rows[] = {
        {"list closed", "list " + ShellQuote(dir / "closed"), eacces},
        {"list search-only", "list " + ShellQuote(dir / "searchable"), eacces},
        {"list open", "list " + ShellQuote(dir / "open"), "ok 1\n"},
        {"stat in closed", "statin " + ShellQuote(dir / "closed") + " secret", eacces},
        {"stat in search-only", "statin " + ShellQuote(dir / "searchable") + " known", eacces},
        {"stat in open", "statin " + ShellQuote(dir / "open") + " visible", "ok readable=1\n"},
        {"stat the closed folder", "stat " + ShellQuote(dir / "closed"), "readable=0 kernel=0\n"},
    };
    for (const Row& row : rows) {
        std::string skip;
        const std::string out = platform_test::ProbeAsOrdinaryUser(row.args, &skip);
        if (!skip.empty()) {
            GTEST_SKIP() << skip;
        }
        EXPECT_EQ(out, row.expected) << row.name;
    }
}

}  // namespace
