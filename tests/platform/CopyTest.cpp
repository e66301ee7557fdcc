// SPDX-License-Identifier: GPL-3.0-or-later
// CopyFileAtomic: what a copy carries, and what a failed copy leaves behind.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/FaultSeam.h"
#include "platform/FileSystem.h"
#include "platform/Medium.h"
#include "tests/platform/PlatformTestUtil.h"

namespace {

using platform_test::PlatformTest;
using testing_support::CopyAtPaths;
using testing_support::CTempDir;
using testing_support::ListNames;
using testing_support::Mode;
using testing_support::ModTimeNs;
using testing_support::PrepareAtPaths;
using testing_support::ReadFile;
using testing_support::WriteFile;

std::string LinkTarget(const std::string& path) {
    char buf[4096];
    ssize_t n = readlink(path.c_str(), buf, sizeof buf);
    return n < 0 ? std::string("<not a link>") : std::string(buf, static_cast<size_t>(n));
}

// The access time alone, leaving the write time as it is.
void SetAccessTime(const std::string& path, int64_t nanoseconds) {
    const struct timespec times[2] = {{nanoseconds / 1000000000, nanoseconds % 1000000000}, {0, UTIME_OMIT}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

int64_t AccessTimeNs(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? int64_t{st.st_atim.tv_sec} * 1000000000 + st.st_atim.tv_nsec : -1;
}

// The observable state of a target: what must survive a failed copy.
struct Snapshot {
    std::string bytes;
    unsigned mode;
    int64_t time;
    std::vector<std::string> folder;
    bool operator==(const Snapshot&) const = default;
};

Snapshot Take(const std::string& folder, const std::string& path) {
    return {ReadFile(path), Mode(path), ModTimeNs(path), ListNames(folder)};
}

// The value of extended attribute name of path, or "<none>".
std::string Attribute(const std::string& path, const char* name) {
    char value[256];
    const ssize_t n = lgetxattr(path.c_str(), name, value, sizeof value);
    return n < 0 ? std::string("<none>") : std::string(value, static_cast<size_t>(n));
}

std::string Pattern(size_t size) {
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        data[i] = static_cast<char>((i * 131 + i / 4096) & 0xFF);
    }
    return data;
}

TEST(CopyFileAtomic, CarriesContentsTimeModeAndArchiveRecord) {
    CTempDir dir;
    // An access ACL as the kernel stores it, for mode 0644: owner rw, user 4242 r, group r, mask r,
    // others r.
    const uint32_t acl[] = {2,          0x00060001, 0xffffffff, 0x00040002, 4242,      0x00040004,
                            0xffffffff, 0x00040010, 0xffffffff, 0x00040020, 0xffffffff};
    struct Row {
        const char* name;
        std::string content;
        unsigned mode;
        int64_t seconds;
        int64_t nanoseconds;
        bool clearArchive;
    };
    const Row rows[] = {
        {"empty", "", 0644, 1700000000, 123456789, false},
        {"small read-only", "hello", 0444, 1600000000, 1, true},
        {"before 1970", "old", 0600, -86400 * 400, 999999999, true},
        {"binary, several MiB", Pattern((9u << 20) + 7), 0755, 1800000000, 42, false},
    };
    for (const Row& row : rows) {
        const std::string from = dir / (std::string("src ") + row.name);
        const std::string to = dir / (std::string("dst ") + row.name);
        WriteFile(from, row.content);
        testing_support::SetMode(from, row.mode);
        testing_support::SetModTime(from, row.seconds, row.nanoseconds);
        SetAccessTime(from, 1000000000 + row.nanoseconds / 3);
        ASSERT_EQ(setxattr(from.c_str(), "user.xdg.tags", row.name, strlen(row.name), 0), 0);
        const bool withAcl =
            row.mode == 0644 && setxattr(from.c_str(), "system.posix_acl_access", acl, sizeof acl, 0) == 0;
        if (row.clearArchive) {
            ASSERT_PLATFORM_OK(platform::ChangeAttributeBits(from, platform::kAttrArchive, false));
        }
        ASSERT_PLATFORM_OK(CopyAtPaths(from, to)) << row.name;
        EXPECT_EQ(Attribute(to, "user.xdg.tags"), row.name) << row.name;
        EXPECT_EQ(Attribute(to, "system.posix_acl_access"), Attribute(from, "system.posix_acl_access"))
            << row.name << (withAcl ? ", with an ACL" : "");
        // Before anything reads the copy, which may move its access time.
        EXPECT_EQ(AccessTimeNs(to), AccessTimeNs(from))
            << row.name << ": the source's access time, unchanged";
        EXPECT_TRUE(ReadFile(to) == row.content) << row.name;
        EXPECT_EQ(Mode(to), row.mode) << row.name;
        EXPECT_EQ(ModTimeNs(to), ModTimeNs(from)) << row.name << ": the full nanosecond time";
        platform::FileInfo a, b;
        ASSERT_PLATFORM_OK(platform::StatPath(from, a));
        ASSERT_PLATFORM_OK(platform::StatPath(to, b));
        EXPECT_EQ(a.writeTime, b.writeTime) << row.name;
        EXPECT_EQ(b.archive, !row.clearArchive) << row.name << ": the copy reads as its source does";
        EXPECT_EQ(a.archive, b.archive) << row.name;
        EXPECT_EQ(b.size, row.content.size()) << row.name;
    }
    // The sources are as they were.
    EXPECT_EQ(ReadFile(dir / "src small read-only"), "hello");
    EXPECT_EQ(Mode(dir / "src small read-only"), 0444u);
    // Nothing but the copies themselves appeared.
    EXPECT_EQ(ListNames(dir.Path()).size(), 2 * std::size(rows));
}

// From a medium whose driver makes permission bits up (0777 on exFAT and NTFS), a copy takes only the
// read-only state: a new file gets what this user's umask gives, a replaced one keeps its own bits.
TEST(CopyFileAtomic, TakesNoMadeUpModesFromAMediumWithoutThem) {
    CTempDir dir;
    const unsigned fresh = platform::NewFileMode();
    struct Row {
        const char* name;
        unsigned sourceMode;
        int oldMode;  // -1: no older copy
        unsigned expected;
    };
    const Row rows[] = {
        {"new file", 0777, -1, fresh},
        {"new file, read-only source", 0555, -1, fresh & ~0222u},
        {"replaced file", 0777, 0640, 0640},
        {"replaced file, read-only source", 0555, 0640, 0440},
        {"replaced file, other write bits kept", 0777, 0664, 0664},
    };
    for (const Row& row : rows) {
        const std::string from = dir / "from";
        const std::string to = dir / "to";
        unlink(to.c_str());
        WriteFile(from, row.name);
        chmod(from.c_str(), row.sourceMode);
        if (row.oldMode >= 0) {
            WriteFile(to, "old");
            chmod(to.c_str(), static_cast<mode_t>(row.oldMode));
        }
        EXPECT_PLATFORM_OK(CopyAtPaths(from, to, false)) << row.name;
        EXPECT_EQ(Mode(to), row.expected) << row.name;
        EXPECT_EQ(ReadFile(to), row.name);
        chmod(from.c_str(), 0644);
    }
}

// A target medium without permission bits refuses a mode (fusefat ENOSYS, the kernel's vfat EPERM, others
// EOPNOTSUPP): the copy keeps what the medium can hold and stands. Any other failure is one. Such media
// have no unnamed files: the copy starts private under a temporary name, so its mode is always set.
TEST(CopyFileAtomic, AMediumThatRefusesModesStillTakesTheCopy) {
    CTempDir dir;
    WriteFile(dir / "from", "new");
    for (const int err : {ENOSYS, EPERM, EOPNOTSUPP, EIO}) {
        WriteFile(dir / "to", "old");
        platform::TestForceNamedTempFiles(true);
        platform::TestInjectFault(platform::FaultOp::CopyMode, 1, err);
        const bool copied = CopyAtPaths(dir / "from", dir / "to");
        platform::TestClearFaults();
        EXPECT_EQ(copied, err != EIO) << err;
        EXPECT_EQ(ReadFile(dir / "to"), err != EIO ? "new" : "old") << err;
    }
}

// A file with holes is copied with its holes: a disk image holding little data takes little room.
TEST(CopyFileAtomic, KeepsTheHolesOfASparseFile) {
    CTempDir dir;
    const std::string from = dir / "sparse";
    const off_t size = off_t{64} << 20;
    const std::string data = Pattern(4096);
    {
        const int fd = open(from.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(pwrite(fd, data.data(), data.size(), off_t{16} << 20), static_cast<ssize_t>(data.size()));
        ASSERT_EQ(ftruncate(fd, size), 0);
        close(fd);
    }
    struct stat st;
    ASSERT_EQ(stat(from.c_str(), &st), 0);
    if (st.st_blocks * 512 >= size) {
        GTEST_SKIP() << "this file system keeps no holes";
    }
    ASSERT_PLATFORM_OK(CopyAtPaths(from, dir / "copy"));
    ASSERT_EQ(stat((dir / "copy").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, size);
    EXPECT_LT(st.st_blocks * 512, off_t{1} << 20) << "the holes were written out";
    const std::string copy = ReadFile(dir / "copy");
    EXPECT_EQ(copy.substr(size_t{16} << 20, data.size()), data);
    EXPECT_EQ(copy.find_first_not_of('\0', (size_t{16} << 20) + data.size()), std::string::npos);
}

TEST(CopyFileAtomic, ReplacesAnOlderCopyButNeverAReadOnlyOneEvenAsRoot) {
    CTempDir dir;
    WriteFile(dir / "new", "new contents");
    WriteFile(dir / "writable", "old");
    ASSERT_PLATFORM_OK(CopyAtPaths(dir / "new", dir / "writable"));
    EXPECT_EQ(ReadFile(dir / "writable"), "new contents");

    struct Row {
        const char* name;
        unsigned mode;
    };
    for (const Row& row :
         {Row{"ro-0444", 0444}, Row{"ro-0464 group may write", 0464}, Row{"ro-0000", 0000}}) {
        const std::string target = dir / row.name;
        WriteFile(target, "keep me");
        testing_support::SetModTime(target, 1500000000, 5);
        testing_support::SetMode(target, row.mode);
        const Snapshot before = Take(dir.Path(), target);
        EXPECT_FALSE(CopyAtPaths(dir / "new", target)) << row.name;
        EXPECT_EQ(platform::LastError().Errno(), EACCES) << row.name;
        EXPECT_TRUE(Take(dir.Path(), target) == before) << row.name;
    }
    // Once the caller lifts the bit, the copy goes through.
    ASSERT_PLATFORM_OK(platform::ChangeAttributeBits(dir / "ro-0444", platform::kAttrReadOnly, false));
    ASSERT_PLATFORM_OK(CopyAtPaths(dir / "new", dir / "ro-0444"));
    EXPECT_EQ(ReadFile(dir / "ro-0444"), "new contents");
}

TEST(CopyFileAtomic, RefusesWhatItCannotCopyAndLeavesTargetsAlone) {
    CTempDir dir;
    WriteFile(dir / "file", "x");
    WriteFile(dir / "target folder/inside", "kept");
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
    testing_support::MakeFolder(dir / "folder");
    struct Row {
        const char* name;
        std::string from;
        std::string to;
        int err;
    };
    const Row rows[] = {
        {"missing source", dir / "none", dir / "t1", ENOENT},
        {"folder as source", dir / "folder", dir / "t2", EISDIR},
        {"pipe as source (must not block)", dir / "pipe", dir / "t3", EINVAL},
        {"folder as target", dir / "file", dir / "target folder", EISDIR},
        {"target folder missing", dir / "file", dir / "no/such/t", ENOENT},
        {"target below a file", dir / "file", dir / "file/t", ENOTDIR},
    };
    const std::vector<std::string> before = testing_support::ListTree(dir.Path());
    for (const Row& row : rows) {
        EXPECT_FALSE(CopyAtPaths(row.from, row.to)) << row.name;
        EXPECT_EQ(platform::LastError().Errno(), row.err) << row.name;
    }
    EXPECT_EQ(testing_support::ListTree(dir.Path()), before);
    EXPECT_EQ(ReadFile(dir / "target folder/inside"), "kept");
}

TEST(CopyFileAtomic, CopiesLinksAsLinksWithoutFollowing) {
    CTempDir dir;
    CTempDir outside;
    WriteFile(outside / "secret", "outside data");
    testing_support::SetModTime(outside / "secret", 1400000000, 0);
    const int64_t outsideTime = ModTimeNs(outside / "secret");
    testing_support::MakeFolder(dir / "src");
    testing_support::MakeFolder(dir / "dst");
    ASSERT_EQ(symlink((outside / "secret").c_str(), (dir / "src/out").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", (dir / "src/dangling").c_str()), 0);
    ASSERT_EQ(symlink("loop-b", (dir / "src/loop-a").c_str()), 0);
    ASSERT_EQ(symlink("loop-a", (dir / "src/loop-b").c_str()), 0);
    ASSERT_EQ(symlink(outside.Path().c_str(), (dir / "src/folder-link").c_str()), 0);
    const std::string oddTarget = std::string("we\\ird \n\xff name");
    ASSERT_EQ(symlink(oddTarget.c_str(), (dir / "src/odd").c_str()), 0);
    for (const char* name : {"out", "dangling", "loop-a", "loop-b", "folder-link", "odd"}) {
        const std::string from = dir / (std::string("src/") + name);
        const std::string to = dir / (std::string("dst/") + name);
        testing_support::SetModTime(from, 1300000000, 777);
        ASSERT_PLATFORM_OK(CopyAtPaths(from, to)) << name;
        EXPECT_EQ(LinkTarget(to), LinkTarget(from)) << name;
        EXPECT_EQ(ModTimeNs(to), ModTimeNs(from)) << name << ": the link's own time";
        platform::FileInfo info;
        ASSERT_PLATFORM_OK(platform::StatPath(to, info));
        EXPECT_EQ(info.kind, platform::EntryKind::Link) << name;
    }
    // A link copied over a link replaces it; a file copied onto a link replaces the link, not its target.
    ASSERT_PLATFORM_OK(CopyAtPaths(dir / "src/dangling", dir / "dst/out"));
    EXPECT_EQ(LinkTarget(dir / "dst/out"), "nowhere");
    WriteFile(dir / "plain", "plain");
    ASSERT_PLATFORM_OK(CopyAtPaths(dir / "plain", dir / "src/out"));
    EXPECT_EQ(ReadFile(dir / "src/out"), "plain");
    EXPECT_EQ(ReadFile(outside / "secret"), "outside data");
    EXPECT_EQ(ModTimeNs(outside / "secret"), outsideTime);
    EXPECT_EQ(ListNames(outside.Path()), std::vector<std::string>{"secret"});
}

TEST(CopyFileAtomic, HandlesNamesThatAreNotPlainText) {
    CTempDir dir;
    const std::string names[] = {"with space",
                                 "Grüße ñ 日本",
                                 "back\\slash",
                                 "new\nline",
                                 std::string("bad \xff\xfe utf8"),
                                 " leading and trailing ",
                                 "-dash"};
    for (const std::string& name : names) {
        WriteFile(dir / name, "content of " + name);
        platform::FileInfo info;
        ASSERT_PLATFORM_OK(platform::StatPath(dir / name, info)) << name;
        EXPECT_EQ(info.kind, platform::EntryKind::File) << name;
        ASSERT_PLATFORM_OK(platform::CreateFolder(dir / ("dir " + name))) << name;
        ASSERT_PLATFORM_OK(CopyAtPaths(dir / name, dir / ("dir " + name) + "/" + name)) << name;
        EXPECT_EQ(ReadFile(dir / ("dir " + name) + "/" + name), "content of " + name) << name;
    }
    std::vector<platform::DirEntry> entries;
    ASSERT_PLATFORM_OK(platform::ListFolder(dir.Path(), entries));
    for (const std::string& name : names) {
        const auto count = std::count_if(entries.begin(), entries.end(), [&](const platform::DirEntry& e) {
            return e.name == name && e.kind == platform::EntryKind::File;
        });
        EXPECT_EQ(count, 1) << name;
    }
    EXPECT_EQ(entries.size(), 2 * std::size(names));
}

TEST_F(PlatformTest, FailedCopiesLeaveTheOldTargetAndNoTemporaryFile) {
    CTempDir dir;
    WriteFile(dir / "big", Pattern((17u << 20) + 3));  // three rounds of the kernel copy
    ASSERT_EQ(symlink("somewhere", (dir / "link").c_str()), 0);
    struct Row {
        const char* name;
        const char* source;
        platform::FaultOp op;
        int nth;
    };
    const Row rows[] = {
        {"first data round", "big", platform::FaultOp::CopyData, 1},
        {"mid-copy", "big", platform::FaultOp::CopyData, 2},
        {"last data round", "big", platform::FaultOp::CopyData, 3},
        {"before the rename", "big", platform::FaultOp::CopyRename, 1},
        {"link before the rename", "link", platform::FaultOp::CopyRename, 1},
    };
    for (const bool named : {false, true}) {
        const char* temp = named ? "named temporary: " : "unnamed temporary: ";
        for (const Row& row : rows) {
            WriteFile(dir / "target", "old small target");
            testing_support::SetMode(dir / "target", 0640);
            testing_support::SetModTime(dir / "target", 1234567890, 123);
            const Snapshot before = Take(dir.Path(), dir / "target");
            platform::TestForceNamedTempFiles(named);
            platform::TestInjectFault(row.op, row.nth, ENOSPC);
            EXPECT_FALSE(CopyAtPaths(dir / row.source, dir / "target")) << temp << row.name;
            EXPECT_EQ(platform::LastError().Errno(), ENOSPC) << temp << row.name;
            EXPECT_TRUE(Take(dir.Path(), dir / "target") == before) << temp << row.name;
            platform::TestClearFaults();
        }
        // The same copy without a fault succeeds: the faults were what stopped it.
        platform::TestForceNamedTempFiles(named);
        ASSERT_PLATFORM_OK(CopyAtPaths(dir / "big", dir / "target")) << temp;
        EXPECT_TRUE(ReadFile(dir / "target") == ReadFile(dir / "big")) << temp;
        EXPECT_EQ(ListNames(dir.Path()), (std::vector<std::string>{"big", "link", "target"})) << temp;
        platform::TestClearFaults();
    }
}

TEST(CopyFileAtomic, AFileSizeLimitInMidCopyLeavesTheOldTarget) {
    CTempDir dir;
    WriteFile(dir / "big", Pattern(4u << 20));
    WriteFile(dir / "target", "old small target");
    testing_support::SetMode(dir / "target", 0600);
    testing_support::SetModTime(dir / "target", 1111111111, 11);
    const Snapshot before = Take(dir.Path(), dir / "target");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit = {1u << 20, 1u << 20};
        setrlimit(RLIMIT_FSIZE, &limit);
        const bool copied = CopyAtPaths(dir / "big", dir / "target");
        _exit(copied ? 10 : platform::LastError().Errno() == EFBIG ? 0 : 20);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10: copied despite the limit, 20: another error than EFBIG";
    EXPECT_TRUE(Take(dir.Path(), dir / "target") == before);
}

// Copies written ahead: unseen until published, gone without a trace when dropped, and the same result
// as CopyFileAtomic when published, with or without the batch's flush.
TEST_F(PlatformTest, PreparedCopiesAreUnseenUntilPublishedAndLeaveNothingWhenDropped) {
    CTempDir dir;
    WriteFile(dir / "a", "new a");
    WriteFile(dir / "b", "new b");
    ASSERT_EQ(symlink("somewhere", (dir / "link").c_str()), 0);
    testing_support::MakeFolder(dir / "out");
    for (const bool named : {false, true}) {
        const char* temp = named ? "named temporary: " : "unnamed temporary: ";
        platform::TestForceNamedTempFiles(named);
        WriteFile(dir / "out/a", "old a");
        const Snapshot before = Take(dir / "out", dir / "out/a");
        {
            auto a = PrepareAtPaths(dir / "a", dir / "out/a");
            auto b = PrepareAtPaths(dir / "b", dir / "out/b");
            auto link = PrepareAtPaths(dir / "link", dir / "out/link");
            ASSERT_TRUE(a && b && link) << temp << platform::LastError().Text();
            EXPECT_EQ(ReadFile(dir / "out/a"), "old a") << temp << "not in place before it is published";
            EXPECT_FALSE(testing_support::Exists(dir / "out/b")) << temp;
            EXPECT_FALSE(testing_support::Exists(dir / "out/link")) << temp;
        }
        EXPECT_TRUE(Take(dir / "out", dir / "out/a") == before) << temp << "dropped copies leave nothing";

        auto a = PrepareAtPaths(dir / "a", dir / "out/a");
        auto b = PrepareAtPaths(dir / "b", dir / "out/b");
        auto link = PrepareAtPaths(dir / "link", dir / "out/link");
        ASSERT_TRUE(a && b && link) << temp;
        ASSERT_PLATFORM_OK(platform::CPreparedCopy::Flush({a.get(), b.get(), link.get()})) << temp;
        ASSERT_PLATFORM_OK(a->Publish()) << temp;
        ASSERT_PLATFORM_OK(b->Publish()) << temp;
        ASSERT_PLATFORM_OK(link->Publish()) << temp;
        EXPECT_EQ(ReadFile(dir / "out/a"), "new a") << temp;
        EXPECT_EQ(ReadFile(dir / "out/b"), "new b") << temp;
        EXPECT_EQ(LinkTarget(dir / "out/link"), "somewhere") << temp;
        EXPECT_EQ(ModTimeNs(dir / "out/a"), ModTimeNs(dir / "a")) << temp;
        EXPECT_EQ(ListNames(dir / "out"), (std::vector<std::string>{"a", "b", "link"})) << temp;
        ASSERT_EQ(unlink((dir / "out/b").c_str()), 0);
        ASSERT_EQ(unlink((dir / "out/link").c_str()), 0);
    }
    platform::TestClearFaults();

    // Refusals come when the copy is prepared, as CopyFileAtomic's do.
    testing_support::SetMode(dir / "out/a", 0444);
    EXPECT_EQ(PrepareAtPaths(dir / "b", dir / "out/a"), nullptr);
    EXPECT_EQ(platform::LastError().Errno(), EACCES) << "a read-only target";
    EXPECT_EQ(PrepareAtPaths(dir / "b", dir / "missing/b"), nullptr);
    EXPECT_EQ(platform::LastError().Errno(), ENOENT) << "a missing folder";
    EXPECT_EQ(PrepareAtPaths(dir / "gone", dir / "out/b"), nullptr);
    EXPECT_EQ(platform::LastError().Errno(), ENOENT) << "a missing source";
}

// A prepared copy tells whether its source still had to be marked as backed up when it was read: the
// batch skips clearing an archive bit that was already clear, and a source changed since stays marked.
TEST_F(PlatformTest, APreparedCopyTellsWhetherItsSourceWasMarked) {
    CTempDir dir;
    WriteFile(dir / "cleared", "c");
    WriteFile(dir / "archived", "a");
    WriteFile(dir / "stale", "s");
    ASSERT_EQ(symlink("somewhere", (dir / "link").c_str()), 0);
    ASSERT_PLATFORM_OK(platform::ChangeAttributeBits(dir / "cleared", platform::kAttrArchive, false));
    ASSERT_PLATFORM_OK(platform::ChangeAttributeBits(dir / "stale", platform::kAttrArchive, false));
    testing_support::SetModTime(dir / "stale", 1600000000);  // changed after it was marked
    const struct {
        const char* name;
        bool archived;
    } rows[] = {{"cleared", false}, {"archived", true}, {"stale", true}, {"link", false}};
    for (const auto& row : rows) {
        auto copy = PrepareAtPaths(dir / row.name, dir / (std::string(row.name) + ".copy"));
        ASSERT_TRUE(copy) << row.name;
        EXPECT_EQ(copy->SourceArchived(), row.archived) << row.name;
    }
}

// A copy that takes its name with its original's time must be on disk first, or a power cut could
// leave an empty file that looks done; only a new copy named with the provisional time waits for the
// run's flush. Without unnamed files (FUSE media) the provisional time is never given.
TEST_F(PlatformTest, OnlyAProvisionalNewCopyTakesItsNameUnflushed) {
    CTempDir dir;
    WriteFile(dir / "a", "a");
    WriteFile(dir / "old", "old");
    const struct {
        const char* name;
        const char* target;
        bool provisional;
        bool named;
        bool flushesFirst;
        int64_t sourceTime;
        int64_t provisionalTime;  // where not flushed first: older than the source by more than any step
    } rows[] = {
        {"new, provisional", "new1", true, false, false, 1600000000, platform::kProvisionalWriteTime},
        {"new, provisional, named temporary file", "new2", true, true, true, 1600000000, 0},
        {"new, real time asked", "new3", false, false, true, 1600000000, 0},
        {"replacing", "old", true, false, true, 1600000000, 0},
        {"new, source from 1970", "new4", true, false, false, 0, -platform::kProvisionalMargin},
        {"new, source before 1901", "new5", true, false, true, -3000000000LL, 0},
    };
    for (const auto& row : rows) {
        testing_support::SetModTime(dir / "a", row.sourceTime);
        platform::TestForceNamedTempFiles(row.named);
        auto copy = PrepareAtPaths(dir / "a", dir / row.target, row.provisional);
        platform::TestClearFaults();
        ASSERT_TRUE(copy) << row.name;
        EXPECT_EQ(copy->FlushesFirst(), row.flushesFirst) << row.name;
        EXPECT_EQ(copy->PendingTime().pending, !row.flushesFirst) << row.name;
        ASSERT_TRUE(copy->Publish()) << row.name;
        if (!row.flushesFirst) {
            EXPECT_EQ(ModTimeNs(dir / row.target), row.provisionalTime * 1000000000) << row.name;
            ASSERT_PLATFORM_OK(testing_support::FinishWriteTimeAt(dir / row.target, copy->PendingTime()));
        }
        EXPECT_EQ(ModTimeNs(dir / row.target), ModTimeNs(dir / "a")) << row.name;
    }
}

// A copy replaces only the file the scan saw: a name taken or a target saved since stops it with EEXIST
// and stays as it is, whether the save came before the copy was written or after.
TEST_F(PlatformTest, ACopyReplacesOnlyTheFileTheScanSaw) {
    const struct {
        const char* name;
        bool seen;    // the scan saw a file there, written at 1500000000
        bool named;   // a file system without unnamed files
        bool before;  // the save comes before the copy is written, not before it is put in place
    } rows[] = {{"new copy", false, false, false},
                {"new copy, named temporary file", false, true, false},
                {"replacement", true, false, false},
                {"replacement, named temporary file", true, true, false},
                {"replacement, saved before the copy was written", true, false, true}};
    for (const auto& row : rows) {
        CTempDir dir;
        WriteFile(dir / "a", "new");
        if (row.seen) {
            WriteFile(dir / "t", "scanned");
            testing_support::SetModTime(dir / "t", 1500000000);
        }
        if (row.before) {
            WriteFile(dir / "t", "user's");
        }
        const platform::ScannedTarget scanned{row.seen, platform::WriteTimeFromUnix(1500000000, 0)};
        platform::TestForceNamedTempFiles(row.named);
        auto copy = PrepareAtPaths(dir / "a", dir / "t", false, &scanned);
        platform::TestClearFaults();
        if (!row.before) {
            ASSERT_TRUE(copy) << row.name;
            WriteFile(dir / "t", "user's");
        }
        EXPECT_FALSE(copy && copy->Publish()) << row.name;
        EXPECT_EQ(platform::LastError().Errno(), EEXIST) << row.name;
        copy.reset();
        EXPECT_EQ(ReadFile(dir / "t"), "user's") << row.name;
        EXPECT_EQ(ListNames(dir.Path()).size(), 2u) << row.name << ": no temporary file stays";
    }
}

}  // namespace
