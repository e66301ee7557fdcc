// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/DirScanner.h"
#include "engine/GenericException.h"
#include "platform/FaultSeam.h"
#include "platform/FileSystem.h"
#include "tests/TestSupport.h"
#include "tests/engine/EngineFakes.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cctype>
#include <cerrno>
#include <map>

#include <gtest/gtest.h>

namespace {

using engine_test::CFakeProgress;
using engine_test::ExpectedOrder;
using engine_test::FileTime;
using engine_test::ThrownText;
using testing_support::CTempDir;
using testing_support::MakeFolder;
using testing_support::SetModTime;
using testing_support::WriteFile;

std::vector<std::string> Names(const FileList& files) {
    std::vector<std::string> names;
    for (const FileEntry& f : files) {
        names.push_back(f.m_strName.Str());
    }
    return names;
}

TEST(DirScanner, ListsRelativeNamesDepthFirstInNameOrder) {
    CTempDir dir;
    // Enough names per folder that the file system's own order (a hash) or a breadth-first walk would
    // differ; letters of both cases, and names equal but for case, whose bytes decide.
    for (const char* name : {"m.txt", "a.txt", "z.txt", "k/one.txt", "k/deeper/two.txt", "k/X.txt", "K.txt",
                             "b/three.txt", "q.txt", "Q.txt", "Zeta.txt", "b/c/d/e/four.txt", "_u.txt",
                             "Report draft B.txt", "report draft a.txt", "Report draft a.txt"}) {
        WriteFile(dir / name, name);
    }
    MakeFolder(dir / "emptyfolder");
    SetModTime(dir / "k/deeper/two.txt", 1000000000, 123456700);

    CDirScanner scan(dir.Path(), "", nullptr);
    const std::vector<std::string> expected = {"_u.txt",
                                               "a.txt",
                                               "b/c/d/e/four.txt",
                                               "b/three.txt",
                                               "k/deeper/two.txt",
                                               "k/one.txt",
                                               "k/X.txt",
                                               "K.txt",
                                               "m.txt",
                                               "Q.txt",
                                               "q.txt",
                                               "Report draft a.txt",
                                               "report draft a.txt",
                                               "Report draft B.txt",
                                               "z.txt",
                                               "Zeta.txt"};
    EXPECT_EQ(Names(scan.m_files), expected);
    EXPECT_EQ(scan.m_strRoot, dir.Path() + "/");
    EXPECT_EQ(scan.m_nRootLength, static_cast<int>(dir.Path().size() + 1));
    EXPECT_EQ(scan.m_nTopFolders, 3) << "k, b and emptyfolder";

    std::map<std::string, FileEntry> byName;
    for (const FileEntry& f : scan.m_files) {
        byName[f.m_strName.Str()] = f;
    }
    const FileEntry& two = byName["k/deeper/two.txt"];
    EXPECT_EQ(two.m_ftWrite, FileTime(1000000000, 123456700));
    EXPECT_EQ(two.m_nReadOnly, 0);
    EXPECT_TRUE(two.m_nArchive == 0x20) << "a new file is archived";
}

TEST(DirScanner, RootFormsAndAttributes) {
    CTempDir dir;
    WriteFile(dir / "data/a/b.txt", "b");
    WriteFile(dir / "data/ro.txt", "r");
    testing_support::SetMode(dir / "data/ro.txt", 0444);

    struct Row {
        const char* name;
        std::string root;
    };
    ASSERT_EQ(symlink("data", (dir / "datalink").c_str()), 0);
    const std::string cwd = platform::CurrentFolder();
    ASSERT_EQ(chdir(dir.Path().c_str()), 0);
    const Row rows[] = {{"no trailing slash", dir / "data"},
                        {"trailing slash", dir / "data/"},
                        {"relative to the current directory", "data"},
                        {"relative with dot parts", "./data/../data"},
                        {"root reached through a link", dir / "datalink"}};
    for (const Row& row : rows) {
        CDirScanner scan(row.root, "", nullptr);
        std::map<std::string, FileEntry> byName;
        for (const FileEntry& f : scan.m_files) {
            byName[f.m_strName.Str()] = f;
        }
        EXPECT_EQ(byName.size(), 2u) << row.name;
        EXPECT_EQ(byName.count("a/b.txt"), 1u) << row.name;
        EXPECT_EQ(byName["ro.txt"].m_nReadOnly, 1) << row.name;
        EXPECT_EQ(byName["a/b.txt"].m_nReadOnly, 0) << row.name;
        EXPECT_EQ(scan.m_strRoot.front(), '/') << row.name << ": root made absolute";
        EXPECT_EQ(scan.m_strRoot.back(), '/') << row.name;
        EXPECT_EQ(platform::CurrentFolder(), dir.Path())
            << row.name << ": the scan changed the current directory";
    }
    ASSERT_EQ(chdir(cwd.c_str()), 0);
}

TEST(DirScanner, FailuresOfRootAndFiles) {
    CTempDir dir;
    WriteFile(dir / "plain.txt", "x");
    EXPECT_EQ(ThrownText([&] { CDirScanner scan(dir / "missing", "", nullptr); }), "Directory Error");
    EXPECT_EQ(ThrownText([&] { CDirScanner scan(dir / "plain.txt", "", nullptr); }), "Directory Error")
        << "a file as root";

    // A missing root still starts the bar (range 1..0) before the error.
    CFakeProgress progress;
    EXPECT_EQ(ThrownText([&] { CDirScanner scan(dir / "missing", "", &progress); }), "Directory Error");
    EXPECT_EQ(progress.calls, (std::vector<std::string>{"range 1 0", "caption " + dir / "missing"}));
}

TEST(DirScanner, EmptyRootAndProgressSteps) {
    CTempDir dir;
    MakeFolder(dir / "empty");
    {
        CFakeProgress progress;
        CDirScanner scan(dir / "empty", "", &progress);
        EXPECT_TRUE(scan.m_files.empty());
        EXPECT_EQ(progress.calls, (std::vector<std::string>{"range 1 0", "caption " + dir / "empty"}));
    }

    MakeFolder(dir / "tree");
    for (const char* name : {"tree/f1.txt", "tree/one/a.txt", "tree/one/inner/b.txt", "tree/two/c.txt"}) {
        WriteFile(dir / name, "x");
    }
    MakeFolder(dir / "tree/three");
    ASSERT_EQ(symlink((dir / "tree/one").c_str(), (dir / "tree/linkdir").c_str()), 0);

    CFakeProgress progress;
    const std::string rootText = dir / "tree";  // caption shows the root as passed, without a slash
    CDirScanner scan(rootText, "", &progress);
    EXPECT_EQ(scan.m_nTopFolders, 3) << "a link to a folder is not a folder";

    std::vector<std::string> expected = {"range 1 3", "caption " + rootText};
    std::vector<platform::DirEntry> entries;
    ASSERT_PLATFORM_OK(platform::ListFolder(rootText, entries));
    engine_test::SortAsListed(entries);
    int pos = 1;
    for (const platform::DirEntry& e : entries) {
        if (e.kind == platform::EntryKind::Folder) {
            expected.push_back("status " + e.name);
            expected.push_back("pos " + std::to_string(pos++));
        }
    }
    EXPECT_EQ(progress.calls, expected);
    EXPECT_EQ(scan.m_nProgressPos, 4);
}

TEST(DirScanner, IgnoreTextLeavesFilesOut) {
    CTempDir dir;
    for (const char* name : {"a.bak", "B.BAK", "c.bak2", "d.tmp", "sub/e.Tmp", "Makefile", "f.txt"}) {
        WriteFile(dir / name, "x");
    }
    struct Row {
        const char* ignore;
        std::vector<std::string> kept;
    };
    const Row rows[] = {
        {"", {"B.BAK", "Makefile", "a.bak", "c.bak2", "d.tmp", "f.txt", "sub/e.Tmp"}},
        {"bak tmp", {"Makefile", "c.bak2", "f.txt"}},
        {"\"\";*.txt", {"B.BAK", "a.bak", "c.bak2", "d.tmp", "sub/e.Tmp"}},
    };
    for (const Row& row : rows) {
        CDirScanner scan(dir.Path(), row.ignore, nullptr);
        std::vector<std::string> names = Names(scan.m_files);
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, row.kept) << "ignore text '" << row.ignore << "'";
    }
}

TEST(DirScanner, LinksAreEntriesAndSpecialFilesAreSkipped) {
    CTempDir dir;
    WriteFile(dir / "tree/target.txt", "t");
    WriteFile(dir / "outside/secret.txt", "s");
    ASSERT_EQ(symlink("target.txt", (dir / "tree/filelink").c_str()), 0);
    ASSERT_EQ(symlink((dir / "outside").c_str(), (dir / "tree/dirlink").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", (dir / "tree/dangling").c_str()), 0);
    ASSERT_EQ(mkfifo((dir / "tree/pipe").c_str(), 0644), 0);
    SetModTime(dir / "tree/target.txt", 1500000000);
    SetModTime(dir / "tree/filelink", 1200000000, 500);

    CDirScanner scan(dir / "tree", "", nullptr);  // must not block on the pipe
    std::map<std::string, FileEntry> byName;
    for (const FileEntry& f : scan.m_files) {
        byName[f.m_strName.Str()] = f;
    }
    EXPECT_EQ(byName.size(), 4u);
    EXPECT_EQ(byName.count("pipe"), 0u);
    EXPECT_EQ(byName.count("dirlink/secret.txt"), 0u) << "a link to a folder was followed";
    ASSERT_EQ(byName.count("dirlink"), 1u);
    ASSERT_EQ(byName.count("dangling"), 1u);
    EXPECT_EQ(byName["filelink"].m_ftWrite, FileTime(1200000000, 500)) << "the link's own time";
    EXPECT_EQ(byName["target.txt"].m_ftWrite, FileTime(1500000000));
    EXPECT_EQ(scan.m_nTopFolders, 0);
}

TEST(DirScanner, ReadFileInfoRefusesWhatIsNotAFile) {
    CTempDir dir;
    WriteFile(dir / "r/sub/x.txt", "x");
    ASSERT_EQ(mkfifo((dir / "r/pipe").c_str(), 0644), 0);
    SetModTime(dir / "r/sub/x.txt", 1600000000, 900);
    const int rootLength = static_cast<int>(dir.Path().size() + 3);

    FileEntry entry;
    EXPECT_NO_THROW(ReadFileInfo(entry, dir / "r/sub/x.txt", rootLength));
    EXPECT_EQ(entry.m_strName, "sub/x.txt");
    EXPECT_EQ(entry.m_ftWrite, FileTime(1600000000, 900));
    EXPECT_EQ(entry.m_nReadOnly, 0);

    struct Row {
        const char* name;
        std::string path;
        int err;
    };
    const Row rows[] = {{"folder", dir / "r/sub", EISDIR},
                        {"pipe", dir / "r/pipe", ENOTSUP},
                        {"missing", dir / "r/none.txt", ENOENT}};
    for (const Row& row : rows) {
        FileEntry e;
        EXPECT_EQ(ThrownText([&] { ReadFileInfo(e, row.path, rootLength); }),
                  row.path + ": " + platform::CError(row.err).Text())
            << row.name;
    }
}

// Root may read anything, so these cases scan in a helper process run as the ordinary user 65534.
TEST(DirScanner, UnreadableFilesAndFoldersAsOrdinaryUser) {
    CTempDir dir;
    WriteFile(dir / "locked/a.txt", "a");
    WriteFile(dir / "locked/secret.txt", "s");
    testing_support::SetMode(dir / "locked/secret.txt", 0200);
    WriteFile(dir / "closed/inner/x.txt", "x");
    testing_support::SetMode(dir / "closed/inner", 0644);  // may be listed, not entered
    WriteFile(dir / "shut/inner/x.txt", "x");
    testing_support::SetMode(dir / "shut/inner", 0700);  // neither
    WriteFile(dir / "blind/inner/x.txt", "x");
    testing_support::SetMode(dir / "blind/inner", 0311);  // may be entered, not listed
    WriteFile(dir / "rootonly/x.txt", "x");
    testing_support::SetMode(dir / "rootonly", 0744);  // the root itself may not be entered
    WriteFile(dir / "open/x.txt", "x");
    // Readable through an ACL only: the mode bits alone say no.
    WriteFile(dir / "acl/inner/x.txt", "x");
    testing_support::SetMode(dir / "acl/inner/x.txt", 0600);
    testing_support::SetMode(dir / "acl/inner", 0700);
    const bool acl =
        std::system(("setfacl -m u:65534:r " + testing_support::ShellQuote(dir / "acl/inner/x.txt") +
                     " && setfacl -m u:65534:rx " + testing_support::ShellQuote(dir / "acl/inner"))
                        .c_str()) == 0;

    struct Row {
        const char* name;
        std::string root;
        std::string expected;
    };
    const Row rows[] = {
        {"unreadable file", dir / "locked",
         "error: " + dir / "locked/secret.txt: " + platform::CError(EACCES).Text()},
        {"subfolder that may be listed but not entered", dir / "closed", "error: Directory Error"},
        {"subfolder that may not be opened", dir / "shut", "error: Directory Error"},
        // Not "contributes nothing": a backup would report "OK!" without the files in it.
        {"subfolder that may be entered but not listed", dir / "blind", "error: Directory Error"},
        {"root that may not be entered", dir / "rootonly", "error: Directory Error"},
        {"readable tree", dir / "open", "listed: x.txt"},
        {"file and folder readable through an ACL", dir / "acl", acl ? "listed: inner/x.txt" : ""},
    };
    for (const Row& row : rows) {
        if (row.expected.empty()) {
            continue;  // no setfacl here, or a file system without ACLs
        }
        std::string output;
        const int status = testing_support::RunAsOrdinaryUser(
            testing_support::ShellQuote(ENGINE_HELPER) + " scan " + testing_support::ShellQuote(row.root),
            &output);
        if (status == -1) {
            GTEST_SKIP() << "cannot run a command as user 65534 here (setpriv missing)";
        }
        EXPECT_EQ(status, 0) << row.name << ": " << output;
        EXPECT_EQ(output, row.expected) << row.name;
    }
}

// A copy killed on a file system without unnamed files leaves its hidden file. The next scan removes it,
// but never a file that only looks alike, one of an earlier version's form (it carries no proof), nor
// one whose writer still runs.
TEST(DirScanner, RemovesTheTemporaryFilesOfKilledRunsOnly) {
    CTempDir dir;
    WriteFile(dir / "src/a", "a");
    MakeFolder(dir / "dst");
    platform::TestForceNamedTempFiles(true);
    const pid_t child = fork();
    if (child == 0) {
        auto copy = testing_support::PrepareAtPaths(dir / "src/a", dir / "dst/a");
        _exit(copy ? 0 : 1);  // gone without cleaning up, as a killed run
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::vector<std::string> left = testing_support::ListNames(dir / "dst");
    ASSERT_EQ(left.size(), 1u);
    const std::string leftover = left[0];
    EXPECT_TRUE(platform::IsTemporaryName(leftover) && platform::IsLeftoverName(leftover)) << leftover;
    std::string lower = leftover;  // as a driver that lists every name in lower case shows it
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    EXPECT_TRUE(platform::IsLeftoverName(lower)) << lower;

    std::string forged = leftover;
    forged.back() = forged.back() == '0' ? '1' : '0';  // the check no longer holds
    for (const std::string& name : {forged, std::string(".tandrel-notes"), std::string(".tandrel-abc123")}) {
        WriteFile(dir / "dst/" + name, "user's");
    }
    auto running = testing_support::PrepareAtPaths(dir / "src/a", dir / "dst/b");  // this process writes
    platform::TestClearFaults();
    ASSERT_TRUE(running);
    const std::vector<std::string> before = testing_support::ListNames(dir / "dst");

    CDirScanner scan(dir / "dst", "", nullptr);
    std::vector<std::string> files = Names(scan.m_files);
    std::sort(files.begin(), files.end());
    std::vector<std::string> userFiles{forged, ".tandrel-notes", ".tandrel-abc123"};
    std::sort(userFiles.begin(), userFiles.end());
    EXPECT_EQ(files, userFiles) << "names without proof are files";
    std::vector<std::string> expected = before;
    expected.erase(std::find(expected.begin(), expected.end(), leftover));
    EXPECT_EQ(testing_support::ListNames(dir / "dst"), expected);
    EXPECT_EQ(testing_support::ReadFile(dir / "dst/" + forged), "user's");
}

}  // namespace
