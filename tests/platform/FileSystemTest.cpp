// SPDX-License-Identifier: GPL-3.0-or-later
// Times, folders, whole files, logs and the debugger channel of the platform layer.
#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>

#include "platform/FileSystem.h"
#include "tests/platform/PlatformTestUtil.h"

namespace {

using platform::FileInfo;
using platform_test::PlatformTest;
using testing_support::CTempDir;
using testing_support::Mode;
using testing_support::ReadFile;
using testing_support::WriteFile;

// Sets or unsets an environment variable for the life of the object.
class CEnvOverride {
  public:
    CEnvOverride(const char* name, std::optional<std::string> value) : m_name(name) {
        if (const char* old = getenv(name)) {
            m_old = old;
        }
        Apply(value);
    }
    ~CEnvOverride() { Apply(m_old); }
    CEnvOverride(const CEnvOverride&) = delete;
    CEnvOverride& operator=(const CEnvOverride&) = delete;

  private:
    void Apply(const std::optional<std::string>& value) {
        if (value) {
            setenv(m_name, value->c_str(), 1);
        } else {
            unsetenv(m_name);
        }
    }
    const char* m_name;
    std::optional<std::string> m_old;
};

class CUmask {
  public:
    explicit CUmask(mode_t mask) : m_old(umask(mask)) {}
    ~CUmask() { umask(m_old); }
    CUmask(const CUmask&) = delete;
    CUmask& operator=(const CUmask&) = delete;

  private:
    const mode_t m_old;
};

TEST(WriteTime, ConvertsKnownInstantsAndRoundTrips) {
    struct Row {
        const char* name;
        int64_t seconds;
        int64_t nanoseconds;
        uint64_t expected;
    };
    // 1970-01-01 is 116444736000000000 in the 1601-based count of 100-ns units.
    const Row rows[] = {
        {"unix epoch", 0, 0, 116444736000000000ULL},
        {"one unit after", 0, 100, 116444736000000001ULL},
        {"below one unit truncates", 0, 99, 116444736000000000ULL},
        {"one second before 1970", -1, 0, 116444735990000000ULL},
        {"before 1970 with fraction", -1, 500000000, 116444735995000000ULL},
        {"1601 itself", -11644473600, 0, 0},
        {"before 1601 clamps", -11644473601, 0, 0},
        {"year 2400", 13569465600, 123456789, (13569465600ULL + 11644473600ULL) * 10000000ULL + 1234567},
        {"past the 64-bit range clamps", INT64_MAX / 2, 0, UINT64_MAX},
    };
    for (const Row& row : rows) {
        const uint64_t value = platform::WriteTimeFromUnix(row.seconds, row.nanoseconds);
        EXPECT_EQ(value, row.expected) << row.name;
    }
}

TEST(WriteTime, FilesOnDiskCompareToTheHundredNanoseconds) {
    CTempDir dir;
    struct Row {
        const char* name;
        int64_t seconds;
        int64_t nsA;
        int64_t nsB;
        bool equal;
    };
    const Row rows[] = {
        {"one unit apart", 1700000000, 100, 200, false},
        {"same unit", 1700000000, 1000, 1099, true},
        {"before 1970, one unit apart", -315619200, 0, 100, false},
        {"large seconds", 13569465600, 7, 7, true},
    };
    for (const Row& row : rows) {
        WriteFile(dir / "a", "a");
        WriteFile(dir / "b", "b");
        testing_support::SetModTime(dir / "a", row.seconds, row.nsA);
        testing_support::SetModTime(dir / "b", row.seconds, row.nsB);
        FileInfo a, b;
        ASSERT_PLATFORM_OK(platform::StatPath(dir / "a", a));
        ASSERT_PLATFORM_OK(platform::StatPath(dir / "b", b));
        EXPECT_EQ(a.writeTime == b.writeTime, row.equal) << row.name;
        EXPECT_EQ(a.writeTime, platform::WriteTimeFromUnix(row.seconds, row.nsA)) << row.name;
    }
}

TEST(StatPath, DescribesEachKindOfEntryItself) {
    CTempDir dir;
    WriteFile(dir / "file", "12345");
    testing_support::MakeFolder(dir / "folder");
    ASSERT_EQ(symlink("file", (dir / "link").c_str()), 0);
    ASSERT_EQ(symlink("missing", (dir / "dangling").c_str()), 0);
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0644), 0);
    struct Row {
        const char* name;
        platform::EntryKind kind;
    };
    const Row rows[] = {{"file", platform::EntryKind::File},
                        {"folder", platform::EntryKind::Folder},
                        {"link", platform::EntryKind::Link},
                        {"dangling", platform::EntryKind::Link},
                        {"pipe", platform::EntryKind::Other}};
    for (const Row& row : rows) {
        FileInfo info;
        ASSERT_PLATFORM_OK(platform::StatPath(dir / row.name, info)) << row.name;
        EXPECT_EQ(info.kind, row.kind) << row.name;
        EXPECT_TRUE(platform::PathExists(dir / row.name)) << row.name;
    }
    FileInfo file;
    ASSERT_PLATFORM_OK(platform::StatPath(dir / "file", file));
    EXPECT_EQ(file.size, 5u);
    FileInfo missing;
    EXPECT_FALSE(platform::StatPath(dir / "none", missing));
    EXPECT_EQ(platform::LastError().Errno(), ENOENT);
    EXPECT_FALSE(platform::PathExists(dir / "none"));
    EXPECT_FALSE(platform::PathExists(dir / "none/deeper"));
}

TEST(StatPath, ReadableMatchesTheKernelForAnOrdinaryUser) {
    CTempDir dir;
    struct Row {
        const char* name;
        bool folder;
        bool ownedByUser;  // by the ordinary user, else by root
        bool groupOfUser;
        unsigned mode;
    };
    const Row rows[] = {
        {"f-root-0600", false, false, false, 0600}, {"f-root-0644", false, false, false, 0644},
        {"f-user-0400", false, true, true, 0400},   {"f-user-0044", false, true, true, 0044},
        {"f-group-0640", false, false, true, 0640}, {"f-group-0604", false, false, true, 0604},
        {"d-root-0700", true, false, false, 0700},  {"d-root-0755", true, false, false, 0755},
        {"d-root-0744", true, false, false, 0744},  {"d-root-0711", true, false, false, 0711},
        {"d-user-0500", true, true, true, 0500},    {"d-group-0750", true, false, true, 0750},
    };
    const bool root = testing_support::IsRoot();
    for (const Row& row : rows) {
        const std::string path = dir / row.name;
        if (row.folder) {
            testing_support::MakeFolder(path);
        } else {
            WriteFile(path, "x");
        }
        if (root && lchown(path.c_str(), row.ownedByUser ? 65534 : 0, row.groupOfUser ? 65534 : 0) != 0) {
            FAIL() << "lchown " << row.name;
        }
        testing_support::SetMode(path, row.mode);
    }
    if (!root) {
        GTEST_SKIP() << "ownership by another user needs root to set up";
    }
    for (const Row& row : rows) {
        std::string skip;
        std::string out =
            platform_test::ProbeAsOrdinaryUser("stat " + testing_support::ShellQuote(dir / row.name), &skip);
        if (!skip.empty()) {
            GTEST_SKIP() << skip;
        }
        EXPECT_NE(out.find("readable="), std::string::npos) << row.name << ": " << out;
        const bool ours = out.find("readable=1") != std::string::npos;
        const bool kernel = out.find("kernel=1") != std::string::npos;
        EXPECT_EQ(ours, kernel) << row.name << ": " << out;
    }
    // Root reads everything, whatever the bits say.
    FileInfo info;
    ASSERT_PLATFORM_OK(platform::StatPath(dir / "d-root-0700", info));
    EXPECT_TRUE(info.readable);
}

TEST_F(PlatformTest, CreateFolderTellsExistingAndMissingParentApart) {
    CTempDir dir;
    WriteFile(dir / "file", "x");
    struct Row {
        const char* name;
        std::string path;
        int err;  // 0: success
    };
    const Row rows[] = {
        {"new", dir / "new", 0},
        {"again", dir / "new", EEXIST},
        {"over a file", dir / "file", EEXIST},
        {"missing parent", dir / "a/b", ENOENT},
        {"name with blank and UTF-8", dir / "Öl Bäume", 0},
    };
    for (const Row& row : rows) {
        platform::SetLastError(0);
        const bool ok = platform::CreateFolder(row.path);
        EXPECT_EQ(ok, row.err == 0) << row.name;
        EXPECT_EQ(platform::LastError().Errno(), row.err) << row.name;
    }
    platform::TestInjectFault(platform::FaultOp::CreateFolder, 1, ENOSPC);
    EXPECT_FALSE(platform::CreateFolder(dir / "faulted"));
    EXPECT_EQ(platform::LastError().Errno(), ENOSPC);
    EXPECT_FALSE(testing_support::Exists(dir / "faulted"));
}

// Each missing level is made with the mode asked for; a link on the way is followed (a home or config
// folder may be one), and a file on the way stops it.
TEST_F(PlatformTest, MakeFoldersMakesEveryMissingLevel) {
    CTempDir dir;
    WriteFile(dir / "file", "x");
    testing_support::MakeFolder(dir / "real");
    ASSERT_EQ(symlink((dir / "real").c_str(), (dir / "link").c_str()), 0);
    struct Row {
        const char* name;
        std::string path;
        std::string made;  // "": nothing
        int err;           // 0: success
    };
    const Row rows[] = {
        {"three levels", dir / "a/b/c", dir / "a/b/c", 0},
        {"doubled separators below one that exists", dir / "a//b///d/", dir / "a/b/d", 0},
        {"through a link", dir / "link/x/y", dir / "real/x/y", 0},
        {"below a file", dir / "file/sub", "", ENOTDIR},
    };
    for (const Row& row : rows) {
        platform::SetLastError(0);
        EXPECT_EQ(platform::MakeFolders(row.path, 0700), row.err == 0) << row.name;
        EXPECT_EQ(platform::LastError().Errno(), row.err) << row.name;
        FileInfo info;
        if (!row.made.empty()) {
            ASSERT_PLATFORM_OK(platform::StatPath(row.made, info)) << row.name;
            EXPECT_EQ(info.kind, platform::EntryKind::Folder) << row.name;
            EXPECT_EQ(Mode(row.made) & 0777, 0700u) << row.name;
        }
    }
}

TEST(Folders, CurrentFolderFollowsTheWorkingDirectory) {
    CTempDir dir;
    testing_support::MakeFolder(dir / "a b");
    const std::string before = platform::CurrentFolder();
    ASSERT_FALSE(before.empty());
    ASSERT_EQ(chdir((dir / "a b").c_str()), 0);
    char* real = realpath((dir / "a b").c_str(), nullptr);
    EXPECT_EQ(platform::CurrentFolder(), real ? std::string(real) : std::string());
    free(real);
    ASSERT_EQ(chdir(before.c_str()), 0);
}

TEST(Folders, WellKnownFoldersFollowTheEnvironment) {
    struct Row {
        const char* name;
        const char* variable;
        std::optional<std::string> value;
        std::string expected;
        std::string (*get)();
    };
    const std::string home = getenv("HOME") ? getenv("HOME") : "";
    const Row rows[] = {
        {"TMPDIR unset", "TMPDIR", std::nullopt, "/tmp/", &platform::TempFolder},
        {"TMPDIR empty", "TMPDIR", "", "/tmp/", &platform::TempFolder},
        {"TMPDIR without slash", "TMPDIR", "/var/t", "/var/t/", &platform::TempFolder},
        {"TMPDIR with slash", "TMPDIR", "/var/t/", "/var/t/", &platform::TempFolder},
        {"XDG absolute", "XDG_CONFIG_HOME", "/c/f", "/c/f/tandrel/", &platform::ConfigFolder},
        {"XDG relative is ignored", "XDG_CONFIG_HOME", "rel", home + "/.config/tandrel/",
         &platform::ConfigFolder},
        {"XDG unset", "XDG_CONFIG_HOME", std::nullopt, home + "/.config/tandrel/", &platform::ConfigFolder},
    };
    for (const Row& row : rows) {
        CEnvOverride env(row.variable, row.value);
        EXPECT_EQ(row.get(), row.expected) << row.name;
    }
    const std::string exe = platform::ExecutableFolder();
    ASSERT_FALSE(exe.empty());
    EXPECT_EQ(exe.back(), '/');
    EXPECT_TRUE(testing_support::Exists(exe + "platform_tests")) << exe;
}

TEST(ReadWholeFile, ReadsBytesAndRefusesWhatIsNoFile) {
    CTempDir dir;
    std::string bytes("a\0b\r\n\xff", 6);
    bytes += std::string(200000, 'z');  // more than one read
    WriteFile(dir / "data", bytes);
    std::string data;
    ASSERT_PLATFORM_OK(platform::ReadWholeFile(dir / "data", data));
    EXPECT_EQ(data, bytes);
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
    testing_support::MakeFolder(dir / "folder");
    // Sparse: 2 GiB on a stick costs nothing to make and must cost nothing to refuse.
    ASSERT_EQ(truncate((dir / "data").c_str(), off_t{2} << 30), 0);
    WriteFile(dir / "limit", std::string(platform::kMaxWholeFile, 'x'));
    ASSERT_PLATFORM_OK(platform::ReadWholeFile(dir / "limit", data));
    WriteFile(dir / "over", std::string(platform::kMaxWholeFile + 1, 'x'));
    struct Row {
        const char* name;
        int err;
    };
    for (const Row& row : {Row{"missing", ENOENT}, Row{"pipe", EINVAL}, Row{"folder", EISDIR},
                           Row{"data", EFBIG}, Row{"over", EFBIG}}) {
        EXPECT_FALSE(platform::ReadWholeFile(dir / row.name, data)) << row.name;
        EXPECT_EQ(platform::LastError().Errno(), row.err) << row.name;
    }
}

TEST_F(PlatformTest, WriteFileAtomicReplacesKeepingModeAndLeavesNoTemporary) {
    CTempDir dir;
    CUmask mask(022);
    ASSERT_PLATFORM_OK(platform::WriteFileAtomic(dir / "new.ini", "first"));
    EXPECT_EQ(ReadFile(dir / "new.ini"), "first");
    EXPECT_EQ(Mode(dir / "new.ini"), 0644u);

    WriteFile(dir / "kept.ini", "old");
    testing_support::SetMode(dir / "kept.ini", 0600);
    ASSERT_PLATFORM_OK(platform::WriteFileAtomic(dir / "kept.ini", "replaced"));
    EXPECT_EQ(ReadFile(dir / "kept.ini"), "replaced");
    EXPECT_EQ(Mode(dir / "kept.ini"), 0600u);

    for (const bool named : {false, true}) {
        platform::TestForceNamedTempFiles(named);
        platform::TestInjectFault(platform::FaultOp::WriteProfile, 1, EIO);
        EXPECT_FALSE(platform::WriteFileAtomic(dir / "kept.ini", "lost")) << named;
        EXPECT_EQ(platform::LastError().Errno(), EIO) << named;
        EXPECT_EQ(ReadFile(dir / "kept.ini"), "replaced") << named;
        EXPECT_EQ(testing_support::ListNames(dir.Path()), (std::vector<std::string>{"kept.ini", "new.ini"}))
            << named;
    }
    platform::TestClearFaults();

    testing_support::MakeFolder(dir / "folder");
    EXPECT_FALSE(platform::WriteFileAtomic(dir / "folder", "x"));
    EXPECT_EQ(platform::LastError().Errno(), EISDIR);
    EXPECT_FALSE(platform::WriteFileAtomic(dir / "missing/x.ini", "x"));
    EXPECT_EQ(platform::LastError().Errno(), ENOENT);
}

TEST(WriteFileAtomic, CreatesTheConfigFolderPrivate) {
    CTempDir dir;
    CUmask mask(022);
    CEnvOverride env("XDG_CONFIG_HOME", dir / "xdg");
    const std::string path = platform::ConfigFolder() + "Tandrel.ini";
    ASSERT_PLATFORM_OK(platform::WriteFileAtomic(path, "[Init]\n"));
    EXPECT_EQ(ReadFile(path), "[Init]\n");
    EXPECT_EQ(Mode(dir / "xdg/tandrel"), 0700u);
    EXPECT_EQ(Mode(dir / "xdg"), 0700u);
    // A folder that exists keeps the mode its owner chose.
    testing_support::SetMode(dir / "xdg/tandrel", 0750);
    ASSERT_PLATFORM_OK(platform::WriteFileAtomic(path, "[Init]\r\n"));
    EXPECT_EQ(Mode(dir / "xdg/tandrel"), 0750u);
}

TEST(AppendToLog, WritesTheHeaderOnlyIntoAnEmptyFile) {
    CTempDir dir;
    CUmask mask(0);
    const std::string log = dir / "run.log";
    ASSERT_PLATFORM_OK(platform::AppendToLog(log, "H\r\n", "one\r\n"));
    ASSERT_PLATFORM_OK(platform::AppendToLog(log, "H\r\n", "two\r\n"));
    EXPECT_EQ(ReadFile(log), "H\r\none\r\ntwo\r\n");
    EXPECT_EQ(Mode(log), 0600u);
    WriteFile(dir / "empty.log", "");
    ASSERT_PLATFORM_OK(platform::AppendToLog(dir / "empty.log", "H\n", "x\n"));
    EXPECT_EQ(ReadFile(dir / "empty.log"), "H\nx\n");
}

TEST(AppendToLog, RefusesLinksPipesAndOtherUsersFiles) {
    CTempDir dir;
    WriteFile(dir / "victim", "precious");
    ASSERT_EQ(symlink((dir / "victim").c_str(), (dir / "link.log").c_str()), 0);
    ASSERT_EQ(symlink((dir / "nothing").c_str(), (dir / "dangling.log").c_str()), 0);
    ASSERT_EQ(mkfifo((dir / "pipe.log").c_str(), 0600), 0);
    testing_support::MakeFolder(dir / "folder.log");
    for (const char* name : {"link.log", "dangling.log", "pipe.log", "folder.log"}) {
        EXPECT_FALSE(platform::AppendToLog(dir / name, "H\n", "line\n")) << name;
        EXPECT_NE(platform::LastError().Errno(), 0) << name;
    }
    EXPECT_EQ(ReadFile(dir / "victim"), "precious");
    EXPECT_FALSE(testing_support::Exists(dir / "nothing"));

    if (!testing_support::IsRoot()) {
        GTEST_SKIP() << "a file owned by another user needs root to set up";
    }
    WriteFile(dir / "foreign.log", "theirs\n");
    testing_support::SetMode(dir / "foreign.log", 0666);
    platform_test::GiveToOrdinaryUser(dir / "foreign.log");
    EXPECT_FALSE(platform::AppendToLog(dir / "foreign.log", "H\n", "line\n"));
    EXPECT_EQ(platform::LastError().Errno(), EPERM);
    EXPECT_EQ(ReadFile(dir / "foreign.log"), "theirs\n");
}

TEST(DebugOutput, GoesToStandardErrorOnlyWhileSwitchedOn) {
    struct Row {
        const char* name;
        const char* env;
        bool shown;
    };
    const Row rows[] = {{"unset", "-u TANDREL_DEBUG", false},
                        {"empty", "TANDREL_DEBUG=", false},
                        {"set", "TANDREL_DEBUG=1", true}};
    for (const Row& row : rows) {
        const std::string out = platform_test::Probe(row.env, "debug 'trace line'", true);
        EXPECT_EQ(out == "trace line", row.shown) << row.name << ": [" << out << "]";
        const std::string stdoutOnly = platform_test::Probe(row.env, "debug 'trace line'", false);
        EXPECT_EQ(stdoutOnly, "") << row.name;
    }
}

TEST(Headless, StartsAndEndsWithoutADisplay) {
    const std::string binary = testing_support::TandrelBinary();
    if (!testing_support::Exists(binary)) {
        GTEST_SKIP() << "the program is not built: " << binary;
    }
    std::string output;
    const int status =
        testing_support::RunCommand("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 20 " +
                                        testing_support::ShellQuote(binary) + " </dev/null",
                                    &output, true);
    EXPECT_EQ(status, 0) << output;
}

}  // namespace
