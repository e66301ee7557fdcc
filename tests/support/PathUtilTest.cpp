// SPDX-License-Identifier: GPL-3.0-or-later
// Path and folder helpers.
#include "support/PathUtil.h"

#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "tests/TestSupport.h"
#include "tests/support/SupportTestEnv.h"

using testing_support::CTempDir;
using testing_support::MakeFolder;
using testing_support::WriteFile;

namespace {

// Restores the process's current directory when a case changed it.
class CCurrentDirGuard {
  public:
    CCurrentDirGuard() : m_saved(GetCurrentFolder()) {}
    ~CCurrentDirGuard() { EXPECT_EQ(chdir(m_saved.c_str()), 0); }
    CCurrentDirGuard(const CCurrentDirGuard&) = delete;
    CCurrentDirGuard& operator=(const CCurrentDirGuard&) = delete;

  private:
    const std::string m_saved;
};

TEST(PathUtil, NormalizeFolderAddsOneTrailingSlashOnly) {
    struct Row {
        std::string in, out;
    } rows[] = {
        {"/data", "/data/"},
        {"/data/", "/data/"},
        {"", "/"},
        {"/", "/"},
        {"rel/sub", "rel/sub/"},
        // A backslash is an ordinary name character here and must survive untouched.
        {"/a\\b", "/a\\b/"},
        {"/a\\", "/a\\/"},
        {"/x\xff\xfe", "/x\xff\xfe/"},
    };
    for (const Row& row : rows) {
        std::string path = row.in;
        NormalizeFolder(path);
        EXPECT_EQ(path, row.out) << "input '" << row.in << "'";
    }
}

TEST(PathUtil, IsValidPathNameRejectsForbiddenCharacters) {
    struct Row {
        const char* text;
        bool allowSeparators;
        bool valid;
    } rows[] = {
        {"new folder", false, true}, {"", false, true},      {"a:b", false, false},
        {"a\\b", false, false},      {"a/b", false, false},  {"a*b", false, false},
        {"a|b", false, false},       {"a?b", false, false},  {"a\"b", false, false},
        {"a<b", false, false},       {"a>b", false, false},  {"caf\xc3\xa9", false, true},
        {"/x/y", true, true},        {"x/y/", true, true},   {"/x:y", true, false},
        {"C:/x", true, false},       {"/x\\y", true, false}, {"/x/y*", true, false},
        {"/x|y", true, false},       {"/", true, true},      {"", true, true},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(IsValidPathName(row.text, row.allowSeparators), row.valid)
            << "'" << row.text << "' separators " << row.allowSeparators;
    }
}

TEST(PathUtil, ExtensionIsTakenFromTheFinalElement) {
    struct Row {
        std::string path, extension;
    } rows[] = {
        {"/data/sub/file.txt", "txt"},
        {"file.txt", "txt"},
        {"report.txt", "txt"},
        {"a.tar.gz", "gz"},
        {".profile", "profile"},
        {"README", ""},
        {"name.", ""},
        // A dot in a folder name is not the file's extension.
        {"/dir.d/README", ""},
        {"/data/sub/", ""},
        {"/", ""},
        {"", ""},
        {"C:\\data\\x.doc", "doc"},
        {"rel/x.y/z.w", "w"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(GetExtension(row.path), row.extension) << row.path;
    }
}

TEST(PathUtil, CurrentFolderIsInNormalForm) {
    CTempDir dir;
    CCurrentDirGuard guard;
    ASSERT_EQ(chdir(dir.Path().c_str()), 0);
    EXPECT_EQ(GetCurrentFolder(), dir.Path() + "/");
}

TEST(PathUtil, FolderInspectionsCountOnlyOwnEntries) {
    CTempDir dir;
    MakeFolder(dir / "mixed/one/deep");
    MakeFolder(dir / "mixed/two");
    WriteFile(dir / "mixed/a", "1");
    WriteFile(dir / "mixed/b.txt", "2");
    WriteFile(dir / "mixed/.hidden", "3");
    WriteFile(dir / "mixed/one/inner", "not counted");
    MakeFolder(dir / "empty");
    WriteFile(dir / "files/x", "");
    WriteFile(dir / "files/y", "");
    MakeFolder(dir / "linked/real");
    ASSERT_EQ(symlink("real", (dir / "linked/tofolder").c_str()), 0);
    MakeFolder(dir / "onlylink");
    ASSERT_EQ(symlink((dir / "mixed").c_str(), (dir / "onlylink/tofolder").c_str()), 0);
    WriteFile(dir / "plain", "a file");

    struct Row {
        const char* name;
        std::string path;
        bool hasSubfolder;
    } rows[] = {
        {"two folders, three files", dir / "mixed", true},
        {"same with trailing slash", dir / "mixed/", true},
        {"empty folder", dir / "empty", false},
        {"files only", dir / "files", false},
        {"link to a folder is an entry, not a folder", dir / "linked", true},
        {"only a link to a folder", dir / "onlylink", false},
        {"missing folder", dir / "nothing", false},
        {"a file", dir / "plain", false},
        {"a link given as path", dir / "onlylink/tofolder", false},
    };
    CCurrentDirGuard guard;
    ASSERT_EQ(chdir(dir.Path().c_str()), 0);
    for (const Row& row : rows) {
        EXPECT_EQ(HasSubfolder(row.path), row.hasSubfolder) << row.name;
        EXPECT_EQ(GetCurrentFolder(), dir.Path() + "/") << row.name << ": current directory changed";
    }
}

// Run by FolderThatCannotBeEnteredCountsNothing as an ordinary user.
TEST(PathUtilAsUser, DISABLED_LockedFolderGivesNothing) {
    const std::string dir = testing_support::ChildDir();
    if (dir.empty()) {
        GTEST_SKIP() << "runs only as the ordinary-user child of FolderThatCannotBeEnteredCountsNothing";
    }
    CCurrentDirGuard guard;
    ASSERT_EQ(chdir(dir.c_str()), 0);
    EXPECT_FALSE(HasSubfolder(dir + "/locked"));
    EXPECT_EQ(GetCurrentFolder(), dir + "/");
}

TEST(PathUtil, FolderThatCannotBeEnteredCountsNothing) {
    CTempDir dir;
    MakeFolder(dir / "locked/sub");
    WriteFile(dir / "locked/file", "x");
    testing_support::SetMode(dir / "locked", 0);
    std::string output;
    const int status = testing_support::RunCasesAsOrdinaryUser("PathUtilAsUser.*", dir.Path(), output);
    if (status == -1) {
        GTEST_SKIP() << "cannot run as an ordinary user here (no setpriv)";
    }
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
}

}  // namespace
