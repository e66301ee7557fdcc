// SPDX-License-Identifier: GPL-3.0-or-later
// The directory tree control on real folders: roots, lazy listing, paths built from the tree, the path
// walk, the file filter, names that are not UTF-8 and listings that hang.
#include "ui/DirTreeCtrl.h"

#include "platform/FileSystem.h"
#include "tests/TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <future>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using testing_support::CTempDir;
using testing_support::MakeFolder;
using testing_support::WriteFile;

// Exposes the internal operations the tests look through.
class CTestTree : public CDirTreeCtrl {
  public:
    using CDirTreeCtrl::CDirTreeCtrl;
    using CDirTreeCtrl::FindChildItem;
};

std::string Canonical(const std::string& path) {
    return QFile::encodeName(
               QFileInfo(QFile::decodeName(QByteArray::fromStdString(path))).canonicalFilePath())
        .toStdString();
}

std::string Home() {
    return Canonical(getenv("HOME"));
}

bool IsPlaceholderOnly(QTreeWidgetItem* item) {
    return item->childCount() == 1 && item->child(0)->text(0).isEmpty() && item->child(0)->childCount() == 0;
}

// Names of the folders of path in the file system's own listing order (links are not folders).
std::vector<std::string> FolderNamesOnDisk(const std::string& path) {
    std::vector<platform::DirEntry> entries;
    EXPECT_PLATFORM_OK(platform::ListFolder(path, entries));
    std::vector<std::string> names;
    for (const platform::DirEntry& entry : entries) {
        if (entry.kind == platform::EntryKind::Folder) {
            names.push_back(entry.name);
        }
    }
    return names;
}

class DirTreeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_root = Canonical(m_temp.Path());
        ASSERT_FALSE(m_root.empty());
        MakeFolder(Home() + "/Desktop");
        m_tree.Initialize(true);
    }

    // Opens the tree along path and returns its last item; fails the test when not found.
    QTreeWidgetItem* Open(const std::string& path) {
        EXPECT_TRUE(m_tree.SelectPath(path)) << path;
        return m_tree.currentItem();
    }

    // Each child's path relative to the parent's, as the tree builds it.
    std::vector<std::string> ChildPaths(QTreeWidgetItem* item) {
        std::vector<std::string> paths;
        for (int i = 0; i < item->childCount(); ++i) {
            paths.push_back(m_tree.GetItemPath(item->child(i)));
        }
        return paths;
    }

    CTempDir m_temp;
    std::string m_root;  // m_temp without links in its path, as the tree reaches it from "/"
    CTestTree m_tree{".exe", true, DTO_NOREDRAW};
};

TEST_F(DirTreeTest, FreshTreeShowsTwoClosedRootsAndReadsNothing) {
    ASSERT_EQ(m_tree.topLevelItemCount(), 2);
    QTreeWidgetItem* drives = m_tree.topLevelItem(0);
    QTreeWidgetItem* desktop = m_tree.topLevelItem(1);
    EXPECT_EQ(drives, m_tree.DrivesItem());
    EXPECT_EQ(desktop, m_tree.DesktopItem());
    EXPECT_EQ(drives->text(0), QStringLiteral("Drives"));
    EXPECT_EQ(desktop->text(0), QStringLiteral("Desktop"));
    for (QTreeWidgetItem* root : {drives, desktop}) {
        EXPECT_FALSE(root->isExpanded()) << root->text(0).toStdString();
        EXPECT_TRUE(IsPlaceholderOnly(root)) << root->text(0).toStdString();
        EXPECT_TRUE(m_tree.GetItemPath(root->child(0)).empty()) << "placeholder has no path";
    }
    EXPECT_EQ(m_tree.GetItemPath(drives), "");
    EXPECT_EQ(m_tree.GetItemPath(desktop), Home() + "/Desktop/");
    EXPECT_EQ(m_tree.GetSelectedPath(), "") << "nothing is current yet";
    EXPECT_EQ(m_tree.FindChildItem(drives, "/"), nullptr) << "no volume is read before Drives opens";

    // Initialize(true) is the refresh: it starts again from the two closed roots.
    drives->setExpanded(true);
    m_tree.Initialize(true);
    EXPECT_EQ(m_tree.topLevelItemCount(), 2);
    EXPECT_TRUE(IsPlaceholderOnly(m_tree.topLevelItem(0)));
}

TEST_F(DirTreeTest, DesktopRootIsHomeWhenThereIsNoDesktopFolder) {
    ASSERT_EQ(rmdir((Home() + "/Desktop").c_str()), 0) << "the fixture's desktop folder is empty";
    m_tree.Initialize(true);
    EXPECT_EQ(m_tree.GetItemPath(m_tree.DesktopItem()), Home() + "/");
    EXPECT_EQ(m_tree.DesktopItem()->text(0), QFileInfo(QFile::decodeName(Home().c_str())).fileName());
}

TEST_F(DirTreeTest, DrivesListsMountedFoldersRootFirstAndRereadsAtEachOpening) {
    QTreeWidgetItem* drives = m_tree.DrivesItem();
    drives->setExpanded(true);
    ASSERT_GE(drives->childCount(), 1);
    std::set<std::string> seen;
    for (int i = 0; i < drives->childCount(); ++i) {
        const std::string path = m_tree.GetItemPath(drives->child(i));
        ASSERT_FALSE(path.empty()) << "volume " << i;
        EXPECT_EQ(path.front(), '/') << path;
        EXPECT_EQ(path.back(), '/') << path;
        EXPECT_TRUE(seen.insert(path).second) << "listed twice: " << path;
        EXPECT_TRUE(QFileInfo(QFile::decodeName(path.c_str())).isDir()) << path;
        EXPECT_TRUE(IsPlaceholderOnly(drives->child(i))) << path;
        EXPECT_EQ(m_tree.FindChildItem(drives, path), drives->child(i)) << path;
    }
    EXPECT_EQ(m_tree.GetItemPath(drives->child(0)), "/");

    drives->setExpanded(false);
    EXPECT_TRUE(IsPlaceholderOnly(drives));
    drives->setExpanded(true);
    EXPECT_EQ(static_cast<size_t>(drives->childCount()), seen.size());
}

TEST_F(DirTreeTest, OpeningListsOneLevelAndReopeningReadsTheDiskAfresh) {
    MakeFolder(m_temp / "alpha/inner");
    MakeFolder(m_temp / "empty");
    MakeFolder(m_temp / ".hidden");
    WriteFile(m_temp / "file.exe", "x");
    ASSERT_EQ(symlink("alpha", (m_temp / "link").c_str()), 0);

    struct Row {
        const char* name;
        uint16_t options;
        std::set<std::string> withButton;  // folders that get an expand button before opening
    };
    const std::vector<Row> rows = {
        {"every folder gets a button", DTO_NOREDRAW, {"alpha", "empty", ".hidden"}},
        {"only folders with subfolders", DTO_NOREDRAW | DTO_CHECKSUBFOLDERS, {"alpha"}},
        {"redraw left on", 0, {"alpha", "empty", ".hidden"}},
    };
    for (const Row& row : rows) {
        m_tree.SetOptions(true, row.options);
        m_tree.Initialize(true);
        QTreeWidgetItem* folder = Open(m_root);
        ASSERT_NE(folder, nullptr) << row.name;
        EXPECT_TRUE(m_tree.updatesEnabled()) << row.name;

        std::vector<std::string> expected;
        for (const std::string& name : FolderNamesOnDisk(m_root)) {
            expected.push_back(m_root + "/" + name + (row.withButton.count(name) ? "/" : ""));
        }
        EXPECT_EQ(ChildPaths(folder), expected) << row.name << ": folders in listing order, no file, no link";
        QTreeWidgetItem* alpha = m_tree.FindChildItem(folder, "alpha");
        ASSERT_NE(alpha, nullptr) << row.name;
        EXPECT_TRUE(IsPlaceholderOnly(alpha)) << row.name << ": one level at a time";

        MakeFolder(m_temp / "created");
        folder->setExpanded(false);
        EXPECT_TRUE(IsPlaceholderOnly(folder)) << row.name << ": closing discards the listing";
        folder->setExpanded(true);
        EXPECT_NE(m_tree.FindChildItem(folder, "created"), nullptr) << row.name;
        ASSERT_EQ(rmdir((m_temp / "created").c_str()), 0);
    }
}

TEST_F(DirTreeTest, PathsKeepTheirSlashWhileTheItemHasChildren) {
    WriteFile(m_temp / "onlyfiles/a.exe", "a");
    WriteFile(m_temp / "onlyfiles/b.txt", "b");

    struct Row {
        const char* name;
        bool hideFiles;
        std::string folderAfterOpening;
        std::vector<std::string> children;
    };
    const std::string folder = m_root + "/onlyfiles";
    const std::vector<Row> rows = {
        {"files hidden: nothing to list", true, folder, {}},
        {"files shown: the folder keeps its slash", false, folder + "/", {folder + "/a.exe"}},
    };
    for (const Row& row : rows) {
        m_tree.SetOptions(row.hideFiles, DTO_NOREDRAW);
        m_tree.Initialize(true);
        QTreeWidgetItem* parent = Open(m_root);
        QTreeWidgetItem* item = m_tree.FindChildItem(parent, "onlyfiles");
        ASSERT_NE(item, nullptr) << row.name;
        EXPECT_EQ(m_tree.GetItemPath(item), folder + "/") << row.name << ": before opening";
        item->setExpanded(true);
        EXPECT_EQ(m_tree.GetItemPath(item), row.folderAfterOpening) << row.name;
        EXPECT_EQ(ChildPaths(item), row.children) << row.name;
        m_tree.setCurrentItem(item);
        EXPECT_EQ(m_tree.GetSelectedPath(), row.folderAfterOpening) << row.name;
    }
}

TEST_F(DirTreeTest, SelectPathWalksFromTheLongestMountPoint) {
    MakeFolder(m_temp / "a/b");
    MakeFolder(m_temp / "a/B2");

    struct Row {
        std::string name;
        std::string path;
        bool found;
        std::string selected;  // path of the current item afterwards
    };
    std::vector<Row> rows = {
        {"empty path selects Drives", "", true, ""},
        {"the root volume", "/", true, "/"},
        {"folder with subfolders", m_root + "/a", true, m_root + "/a/"},
        {"doubled and trailing slashes", m_root + "//a/", true, m_root + "/a/"},
        {"last folder is opened and found empty", m_root + "/a/b", true, m_root + "/a/b"},
        {"missing folder", m_root + "/a/zzz", false, m_root + "/"},
        {"names compare case-sensitively", m_root + "/A", false, m_root + "/"},
        {"dot is not a folder name", m_root + "/./a", false, m_root + "/"},
        {"relative path", "tmp", false, m_root + "/"},
    };
    // Any other mount point is reached as a volume, not through the folders of "/".
    m_tree.DrivesItem()->setExpanded(true);
    if (m_tree.DrivesItem()->childCount() > 1) {
        std::string mount = m_tree.GetItemPath(m_tree.DrivesItem()->child(1));
        rows.push_back({"second volume " + mount, mount.substr(0, mount.size() - 1), true, mount});
    }

    for (const Row& row : rows) {
        m_tree.Initialize(true);
        ASSERT_TRUE(m_tree.SelectPath(m_root)) << row.name;
        QSignalSpy changes(&m_tree, &QTreeWidget::currentItemChanged);
        EXPECT_EQ(m_tree.SelectPath(row.path), row.found) << row.name;
        EXPECT_EQ(m_tree.GetSelectedPath(), row.selected) << row.name;
        EXPECT_EQ(changes.count(), row.selected == m_root + "/" ? 0 : 1) << row.name;
        EXPECT_TRUE(m_tree.updatesEnabled()) << row.name;
        if (row.name.rfind("second volume", 0) == 0) {
            EXPECT_EQ(m_tree.currentItem()->parent(), m_tree.DrivesItem()) << row.name;
        }
    }
}

TEST_F(DirTreeTest, FileFilterComparesTheEndOfTheNameExactly) {
    for (const char* name : {"setup.exe", "SETUP.EXE", "notes.txt", "setup.exe.bak", "exe"}) {
        WriteFile(m_temp / name, "x");
    }
    ASSERT_EQ(symlink("setup.exe", (m_temp / "shortcut.exe").c_str()), 0);

    struct Row {
        const char* name;
        bool hideFiles;
        std::set<std::string> listed;
    };
    const std::vector<Row> rows = {
        {"files hidden", true, {}},
        {"files shown", false, {m_root + "/setup.exe", m_root + "/shortcut.exe"}},
    };
    for (const Row& row : rows) {
        m_tree.SetOptions(row.hideFiles, DTO_NOREDRAW);
        m_tree.Initialize(true);
        QTreeWidgetItem* item = Open(m_root);
        ASSERT_NE(item, nullptr) << row.name;
        const std::vector<std::string> paths = ChildPaths(item);
        EXPECT_EQ(std::set<std::string>(paths.begin(), paths.end()), row.listed) << row.name;
        EXPECT_EQ(m_tree.IsFileShown("setup.exe"), !row.hideFiles) << row.name;
        EXPECT_FALSE(m_tree.IsFileShown("SETUP.EXE")) << row.name;
    }
}

TEST_F(DirTreeTest, NamesThatAreNotUtf8GiveByteExactPaths) {
    const std::string name = "caf\xe9 \xff";
    MakeFolder(m_temp / (name + "/sub"));
    QTreeWidgetItem* parent = Open(m_root);
    QTreeWidgetItem* item = m_tree.FindChildItem(parent, name);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(m_tree.GetItemPath(item), m_root + "/" + name + "/");

    m_tree.Initialize(true);
    ASSERT_TRUE(m_tree.SelectPath(m_root + "/" + name + "/sub"));
    EXPECT_EQ(m_tree.GetSelectedPath(), m_root + "/" + name + "/sub");
}

TEST_F(DirTreeTest, ItemsKeepTheirIconsWhenSiblingsAreRemoved) {
    MakeFolder(m_temp / "a/x");
    MakeFolder(m_temp / "a/y");
    MakeFolder(m_temp / "b");
    QTreeWidgetItem* parent = Open(m_root);
    QTreeWidgetItem* a = m_tree.FindChildItem(parent, "a");
    QTreeWidgetItem* b = m_tree.FindChildItem(parent, "b");
    ASSERT_TRUE(a && b);
    a->setExpanded(true);
    ASSERT_EQ(a->childCount(), 2);

    // Every item on the way from Drives, the folders and the desktop root.
    std::vector<QTreeWidgetItem*> kept = {m_tree.DrivesItem(), m_tree.DesktopItem(), a, b};
    for (QTreeWidgetItem* walk = parent; walk; walk = walk->parent()) {
        kept.push_back(walk);
    }
    std::vector<qint64> before;
    for (QTreeWidgetItem* item : kept) {
        ASSERT_FALSE(item->icon(0).isNull()) << m_tree.GetItemPath(item);
        before.push_back(item->icon(0).cacheKey());
    }
    EXPECT_EQ(a->icon(0).cacheKey(), a->child(1)->icon(0).cacheKey()) << "folders share one icon";

    a->setExpanded(false);
    for (size_t i = 0; i < kept.size(); ++i) {
        EXPECT_EQ(kept[i]->icon(0).cacheKey(), before[i]) << m_tree.GetItemPath(kept[i]);
    }
}

TEST_F(DirTreeTest, ClosingAFolderHandsTheSelectionToIt) {
    MakeFolder(m_temp / "a/b");
    QTreeWidgetItem* b = Open(m_root + "/a/b");
    ASSERT_NE(b, nullptr);
    QTreeWidgetItem* root = b->parent()->parent();
    QSignalSpy changes(&m_tree, &QTreeWidget::currentItemChanged);
    root->setExpanded(false);
    EXPECT_EQ(m_tree.currentItem(), root);
    EXPECT_EQ(m_tree.GetSelectedPath(), m_root + "/");
    EXPECT_EQ(changes.count(), 1);
}

TEST_F(DirTreeTest, StarKeyOpensOnlyTheCurrentFolder) {
    MakeFolder(m_temp / "a/b/c");
    QTreeWidgetItem* a = m_tree.FindChildItem(Open(m_root), "a");
    ASSERT_NE(a, nullptr);
    m_tree.setCurrentItem(a);
    QTest::keyClick(&m_tree, Qt::Key_Asterisk);
    EXPECT_TRUE(a->isExpanded());
    QTreeWidgetItem* b = m_tree.FindChildItem(a, "b");
    ASSERT_NE(b, nullptr);
    EXPECT_FALSE(b->isExpanded());
    EXPECT_TRUE(IsPlaceholderOnly(b));
}

TEST_F(DirTreeTest, UnreadableOrHangingFolderIsLeftWithoutChildren) {
    MakeFolder(m_temp / "a/b");
    struct Row {
        const char* name;
        bool hangs;
    };
    for (const Row row : {Row{"listing fails", false}, Row{"listing hangs past the limit", true}}) {
        m_tree.Initialize(true);
        QTreeWidgetItem* parent = Open(m_root);
        QTreeWidgetItem* a = m_tree.FindChildItem(parent, "a");
        ASSERT_NE(a, nullptr) << row.name;

        auto release = std::make_shared<std::promise<void>>();
        auto finished = std::make_shared<std::promise<void>>();
        std::shared_future<void> released = release->get_future().share();
        const bool hangs = row.hangs;
        m_tree.TestSetFolderReader(
            [released, finished, hangs](const std::string& path, std::vector<platform::DirEntry>& entries) {
                if (!hangs) {
                    finished->set_value();
                    return false;
                }
                released.wait();
                const bool ok = platform::ListFolder(path, entries);
                finished->set_value();
                return ok;
            });
        m_tree.TestSetTimeLimit(std::chrono::milliseconds(50));
        a->setExpanded(true);
        EXPECT_EQ(a->childCount(), 0) << row.name;
        EXPECT_EQ(m_tree.GetItemPath(a), m_root + "/a") << row.name;

        // The abandoned listing ends later and must leave the tree alone.
        release->set_value();
        finished->get_future().wait();
        QCoreApplication::processEvents();
        EXPECT_EQ(a->childCount(), 0) << row.name;

        m_tree.TestSetFolderReader(&platform::ListFolder);
        m_tree.TestSetTimeLimit(std::chrono::milliseconds(2000));
        a->setExpanded(false);
        a->setExpanded(true);
        EXPECT_EQ(ChildPaths(a), std::vector<std::string>{m_root + "/a/b/"}) << row.name;
    }
}

// Not a check: prints how long opening a folder of 10,000 subfolders takes. Run with
// --gtest_also_run_disabled_tests --gtest_filter='*Bench*'.
TEST_F(DirTreeTest, DISABLED_BenchOpenTenThousandSubfolders) {
    MakeFolder(m_temp / "big");
    for (int i = 0; i < 10000; ++i) {
        ASSERT_EQ(mkdir((m_temp / ("big/folder" + std::to_string(i))).c_str(), 0755), 0);
    }
    m_tree.show();
    for (int round = 0; round < 3; ++round) {
        m_tree.Initialize(true);
        QTreeWidgetItem* big = m_tree.FindChildItem(Open(m_root), "big");
        ASSERT_NE(big, nullptr);
        QElapsedTimer timer;
        timer.start();
        big->setExpanded(true);
        QCoreApplication::processEvents();
        const qint64 openMs = timer.elapsed();
        const int items = big->childCount();
        timer.restart();
        big->setExpanded(false);
        QCoreApplication::processEvents();
        std::printf("round %d: open %lld ms (%d items), close %lld ms\n", round,
                    static_cast<long long>(openMs), items, static_cast<long long>(timer.elapsed()));
    }
}

}  // namespace
