// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CheckInOut.h"
#include "engine/FolderWalk.h"
#include "engine/IgnoreRule.h"
#include "platform/FileSystem.h"
#include "platform/Folder.h"
#include "tests/TestSupport.h"
#include "tests/engine/EngineFakes.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
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
    std::vector<MediumBelow> media;
};

Collected Walk(const std::string& root, int helpers) {
    const CIgnoreRule ignore("skip");
    Collected result;
    std::unique_ptr<platform::CFolder> folder = platform::CFolder::Open(root);
    std::vector<platform::DirEntry> entries;
    EXPECT_TRUE(folder && folder->ReadEntries(entries));
    platform::FileInfo info;
    EXPECT_TRUE(platform::StatPath(root, info, false));
    result.media.resize(1);  // the root's
    result.failure =
        CFolderWalk(ignore, true, helpers)
            .Collect(std::move(folder), std::move(entries), info.device, result.files, result.media,
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
    engine_test::SortAsListed(rootEntries);
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
            expected = "error: " + root + "/" + name + ": " + platform::CError(EACCES).Text();
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

// A chain of folders d/d/.../d in a new folder open to all, with a file "top" in the first and "bottom" in
// the last, made and removed one level at a time through handles: its path is far longer than PATH_MAX.
// In memory where it can be: on a disk, a folder takes about a third of a millisecond to make.
class CDeepChain {
  public:
    explicit CDeepChain(int depth) {
        const char* const bases[] = {"/dev/shm", std::getenv("TMPDIR")};
        for (const char* base : bases) {
            std::string folder = std::string(base ? base : "/tmp") + "/tandrel-deep-XXXXXX";
            if (mkdtemp(folder.data())) {
                m_root = folder;
                break;
            }
        }
        m_fd = open(m_root.c_str(), O_RDONLY | O_DIRECTORY);
        for (; m_depth < depth && m_fd >= 0; ++m_depth) {
            if (m_depth == 1) {
                Touch("top", 0644);
            }
            const int child = mkdirat(m_fd, "d", 0755) == 0 ? openat(m_fd, "d", O_RDONLY | O_DIRECTORY) : -1;
            close(m_fd);
            m_fd = child;
            m_bottom += "d/";
        }
        EXPECT_GE(m_fd, 0) << "made " << m_depth << " levels in " << m_root;
        chmod(m_root.c_str(), 0755);
        Touch("bottom", 0644);
        m_bottom += "bottom";
    }
    ~CDeepChain() {
        unlinkat(m_fd, "bottom", 0);
        for (; m_depth > 0 && m_fd >= 0; --m_depth) {
            if (m_depth == 1) {
                unlinkat(m_fd, "top", 0);
            }
            const int parent = openat(m_fd, "..", O_RDONLY | O_DIRECTORY);
            close(m_fd);
            m_fd = parent;
            EXPECT_EQ(unlinkat(m_fd, "d", AT_REMOVEDIR), 0) << "at level " << m_depth;
        }
        close(m_fd);
        rmdir(m_root.c_str());
    }
    CDeepChain(const CDeepChain&) = delete;
    CDeepChain& operator=(const CDeepChain&) = delete;

    const std::string& Root() const { return m_root; }
    void HideBottom() const { EXPECT_EQ(fchmodat(m_fd, "bottom", 0200, 0), 0); }
    // The relative names of both files, sorted.
    std::vector<std::string> Files() const { return {m_bottom, "d/top"}; }

  private:
    void Touch(const char* name, mode_t mode) const {
        const int fd = openat(m_fd, name, O_WRONLY | O_CREAT | O_EXCL, mode);
        EXPECT_GE(fd, 0) << name;
        close(fd);
    }

    std::string m_root;
    int m_fd = -1;  // the deepest folder made
    int m_depth = 0;
    std::string m_bottom;
};

// Lowers the limit of open files for one scope.
class COpenFileLimit {
  public:
    explicit COpenFileLimit(rlim_t limit) {
        getrlimit(RLIMIT_NOFILE, &m_saved);
        rlimit lowered = m_saved;
        lowered.rlim_cur = std::min(limit, m_saved.rlim_cur);
        setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~COpenFileLimit() { setrlimit(RLIMIT_NOFILE, &m_saved); }
    COpenFileLimit(const COpenFileLimit&) = delete;
    COpenFileLimit& operator=(const COpenFileLimit&) = delete;

  private:
    rlimit m_saved{};
};

// Recursion per level overflows the stack near 40,000 levels; a handle kept open per level runs out of
// the lowered limit after a few dozen.
TEST(FolderWalk, TreeFarDeeperThanTheStackIsWalkedWithFewOpenFiles) {
    const CDeepChain chain(100000);
    const std::vector<std::string> expected = chain.Files();
    const COpenFileLimit limit(64);

    const CDirScanner scan(chain.Root(), "", nullptr);
    std::vector<std::string> scanned;
    for (const FileEntry& f : scan.m_files) {
        scanned.push_back(f.m_strName.Str());
    }
    std::sort(scanned.begin(), scanned.end());
    EXPECT_TRUE(scanned == expected) << scanned.size() << " files scanned";

    std::vector<std::string> visited;
    const size_t cut = chain.Root().size() + 1;
    WalkFiles(chain.Root(), [&](const WalkEntry& e) {
        if (!e.m_bFolder) {
            visited.push_back(e.m_strFullPath.substr(cut));
        }
    });
    std::sort(visited.begin(), visited.end());
    EXPECT_TRUE(visited == expected) << visited.size() << " files visited";

    // A failure at the bottom leaves the whole unfinished tree of the walk to be freed.
    chain.HideBottom();
    std::string output;
    if (testing_support::RunAsOrdinaryUser(
            testing_support::ShellQuote(ENGINE_HELPER) + " scan " + testing_support::ShellQuote(chain.Root()),
            &output) == -1) {
        GTEST_SKIP() << "cannot run a command as user 65534 here (setpriv missing)";
    }
    EXPECT_TRUE(output ==
                "error: " + chain.Root() + "/" + expected[0] + ": " + platform::CError(EACCES).Text())
        << output.substr(0, 200);
}

}  // namespace
