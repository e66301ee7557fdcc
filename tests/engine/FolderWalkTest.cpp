#include "engine/FolderWalk.h"
#include "engine/IgnoreRule.h"
#include "platform/FileSystem.h"
#include "tests/TestSupport.h"
#include "tests/engine/EngineFakes.h"

#include <sys/stat.h>
#include <unistd.h>

#include <random>

#include <gtest/gtest.h>

namespace {

using engine_test::ExpectedOrder;
using testing_support::CTempDir;
using testing_support::MakeFolder;
using testing_support::WriteFile;

struct Collected {
    FileList files;
    std::vector<std::string> topFolders;
    WalkFailure failure;
};

Collected Walk(const std::string& root, int helpers) {
    const CIgnoreRule ignore("skip");
    Collected result;
    std::unique_ptr<platform::CFolder> folder = platform::CFolder::Open(root);
    std::vector<platform::DirEntry> entries;
    EXPECT_TRUE(folder && folder->ReadEntries(entries));
    result.failure = CFolderWalk(ignore, true, helpers)
                         .Collect(std::move(folder), std::move(entries), result.files,
                                  [&](const std::string& name) { result.topFolders.push_back(name); });
    return result;
}

// A tree of uneven shape: deep chains, wide folders, empty folders, links and pipes, so that helper
// threads finish folders out of walk order.
void MakeUnevenTree(const std::string& root) {
    std::mt19937 random(4711);
    std::vector<std::string> folders = {root};
    for (int i = 0; i < 120; ++i) {
        const std::string parent = folders[random() % folders.size()];
        const std::string folder = parent + "/d" + std::to_string(i);
        MakeFolder(folder);
        folders.push_back(folder);
    }
    for (int i = 0; i < 900; ++i) {
        const std::string& folder = folders[random() % folders.size()];
        WriteFile(folder + "/f" + std::to_string(i) + (i % 37 == 0 ? ".skip" : ".txt"), std::to_string(i));
    }
    ASSERT_EQ(symlink("d0", (root + "/link-to-folder").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", (folders[7] + "/dangling").c_str()), 0);
    ASSERT_EQ(mkfifo((folders[9] + "/pipe").c_str(), 0644), 0);
}

TEST(FolderWalk, HelpersChangeNeitherOrderNorContents) {
    CTempDir dir;
    MakeUnevenTree(dir.Path());
    std::vector<std::string> expected;
    ExpectedOrder(dir.Path(), "", expected, ".skip");
    std::vector<std::string> expectedTop;
    std::vector<platform::DirEntry> rootEntries;
    ASSERT_PLATFORM_OK(platform::ListFolder(dir.Path(), rootEntries));
    for (const platform::DirEntry& e : rootEntries) {
        if (e.kind == platform::EntryKind::Folder) {
            expectedTop.push_back(e.name);
        }
    }

    const Collected alone = Walk(dir.Path(), 0);
    ASSERT_EQ(alone.failure.kind, WalkFailure::None);
    std::vector<std::string> names;
    for (const FileEntry& f : alone.files) {
        names.push_back(f.m_strName.Str());
    }
    EXPECT_EQ(names, expected);
    EXPECT_EQ(alone.topFolders, expectedTop);

    for (int round = 0; round < 5; ++round) {
        const Collected shared = Walk(dir.Path(), 3);
        ASSERT_EQ(shared.failure.kind, WalkFailure::None);
        ASSERT_EQ(shared.files.size(), alone.files.size()) << "round " << round;
        for (size_t i = 0; i < alone.files.size(); ++i) {
            const FileEntry& a = alone.files[i];
            const FileEntry& b = shared.files[i];
            ASSERT_EQ(b.m_strName, a.m_strName) << "round " << round << ", entry " << i;
            ASSERT_EQ(b.m_ftWrite, a.m_ftWrite) << a.m_strName;
            ASSERT_EQ(b.m_nReadOnly, a.m_nReadOnly) << a.m_strName;
            ASSERT_EQ(b.m_nArchive, a.m_nArchive) << a.m_strName;
        }
        EXPECT_EQ(shared.topFolders, expectedTop) << "round " << round;
    }
}

// Root may read everything, so the failures are provoked in a helper process run as user 65534: of
// several unreadable files and folders, the one a walk on one thread meets first is reported.
TEST(FolderWalk, FirstFailureInWalkOrderWins) {
    CTempDir dir;
    const std::string root = dir / "tree";
    for (int folder = 0; folder < 30; ++folder) {
        for (int file = 0; file < 20; ++file) {
            WriteFile(root + "/d" + std::to_string(folder) + "/f" + std::to_string(file), "x");
        }
    }
    // Each a failure on its own; the expected message names whichever comes first in walk order.
    testing_support::SetMode(root + "/d3/f7", 0200);
    testing_support::SetMode(root + "/d25/f1", 0200);
    testing_support::SetMode(root + "/d12", 0644);  // may be listed, not entered
    std::vector<std::string> order;
    ExpectedOrder(root, "", order, ".skip");
    std::string expected;
    for (const std::string& name : order) {
        if (name == "d3/f7" || name == "d25/f1") {
            expected = "error: " + root + "/" + name + ": " + platform::ErrorText(EACCES);
            break;
        }
        if (name.rfind("d12/", 0) == 0) {
            expected = "error: Directory Error";
            break;
        }
    }
    ASSERT_FALSE(expected.empty());
    std::string output;
    const int status = testing_support::RunAsOrdinaryUser(
        testing_support::ShellQuote(ENGINE_HELPER) + " scan " + testing_support::ShellQuote(root), &output);
    if (status == -1) {
        GTEST_SKIP() << "cannot run a command as user 65534 here (setpriv missing)";
    }
    EXPECT_EQ(output, expected);
}

}  // namespace
