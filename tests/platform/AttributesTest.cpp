// SPDX-License-Identifier: GPL-3.0-or-later
// The emulated read-only and archive bits.
#include <errno.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "platform/FileSystem.h"
#include "tests/platform/PlatformTestUtil.h"

namespace {

using platform::kAttrArchive;
using platform::kAttrReadOnly;
using platform_test::PlatformTest;
using testing_support::CTempDir;
using testing_support::Mode;
using testing_support::WriteFile;

// Gives path exactly the bits: the others are removed first, then these are added.
bool SetBits(const std::string& path, uint32_t bits) {
    return platform::ChangeAttributeBits(path, (kAttrReadOnly | kAttrArchive) & ~bits, false) &&
           platform::ChangeAttributeBits(path, bits, true);
}

uint32_t Attributes(const std::string& path) {
    uint32_t bits = 0xFFFF;
    EXPECT_PLATFORM_OK(platform::GetAttributes(path, bits)) << path;
    return bits;
}

TEST_F(PlatformTest, AttributesRoundTripAndMapToModeBits) {
    CTempDir dir;
    struct Row {
        const char* name;
        unsigned startMode;
        uint32_t set;
        unsigned expectedMode;
    };
    const Row rows[] = {
        {"make read-only clears every write bit", 0666, kAttrReadOnly | kAttrArchive, 0444},
        {"lift read-only sets the owner bit only", 0444, kAttrArchive, 0644},
        {"read-only and archive cleared together", 0644, kAttrReadOnly, 0444},
        {"no change keeps group write", 0664, kAttrArchive, 0664},
        {"lift from a private read-only file", 0400, 0, 0600},
    };
    for (const Row& row : rows) {
        const std::string path = dir / row.name;
        WriteFile(path, "x");
        testing_support::SetMode(path, row.startMode);
        const int64_t time = testing_support::ModTimeNs(path);
        ASSERT_PLATFORM_OK(SetBits(path, row.set)) << row.name;
        EXPECT_EQ(Mode(path), row.expectedMode) << row.name;
        EXPECT_EQ(Attributes(path), row.set) << row.name;
        EXPECT_EQ(testing_support::ModTimeNs(path), time) << row.name << ": the write time must not move";
        platform::FileInfo info;
        ASSERT_PLATFORM_OK(platform::StatPath(path, info));
        EXPECT_EQ(info.readOnly, (row.set & kAttrReadOnly) != 0) << row.name;
        EXPECT_EQ(info.archive, (row.set & kAttrArchive) != 0) << row.name;
    }
}

TEST(Attributes, ArchiveBitFollowsTheWriteTime) {
    CTempDir dir;
    const std::string path = dir / "doc.txt";
    WriteFile(path, "v1");
    testing_support::SetModTime(path, 1600000000, 500);
    EXPECT_EQ(Attributes(path), kAttrArchive) << "a new file";

    ASSERT_PLATFORM_OK(SetBits(path, 0));
    EXPECT_EQ(Attributes(path), 0u) << "cleared";
    EXPECT_EQ(Attributes(path), 0u) << "stays cleared";
    platform::FileInfo quick;
    ASSERT_PLATFORM_OK(platform::StatPath(path, quick, false));
    EXPECT_TRUE(quick.archive) << "without the archive look-up the bit reads set";

    WriteFile(path, "v2");
    testing_support::SetModTime(path, 1600000000, 600);
    EXPECT_EQ(Attributes(path), kAttrArchive) << "modified one unit later";

    ASSERT_PLATFORM_OK(SetBits(path, 0));
    ASSERT_PLATFORM_OK(SetBits(path, kAttrArchive));
    EXPECT_EQ(Attributes(path), kAttrArchive) << "set again";
    char value[64];
    EXPECT_LT(lgetxattr(path.c_str(), "user.tandrel.archive", value, sizeof value), 0)
        << "set removes the record";

    // A record that is not a number, or a number with trailing junk, is no proof of a backup.
    for (const char* junk : {"abc", "", "12x"}) {
        ASSERT_EQ(lsetxattr(path.c_str(), "user.tandrel.archive", junk, strlen(junk), 0), 0);
        EXPECT_EQ(Attributes(path), kAttrArchive) << "record [" << junk << "]";
    }
}

TEST(Attributes, LinksAreNeverReadOnlyAndAlwaysArchived) {
    CTempDir dir;
    WriteFile(dir / "target", "x");
    testing_support::SetMode(dir / "target", 0444);
    ASSERT_EQ(symlink("target", (dir / "link").c_str()), 0);
    ASSERT_EQ(symlink("missing", (dir / "dangling").c_str()), 0);
    for (const char* name : {"link", "dangling"}) {
        EXPECT_EQ(Attributes(dir / name), kAttrArchive) << name;
        ASSERT_PLATFORM_OK(SetBits(dir / name, kAttrReadOnly)) << name;
        ASSERT_PLATFORM_OK(SetBits(dir / name, 0)) << name;
        EXPECT_EQ(Attributes(dir / name), kAttrArchive) << name;
    }
    EXPECT_EQ(Mode(dir / "target"), 0444u) << "the link's target is untouched";
    EXPECT_EQ(Attributes(dir / "target"), kAttrReadOnly | kAttrArchive);
    EXPECT_FALSE(testing_support::Exists(dir / "missing"));
}

TEST_F(PlatformTest, FailedAttributeChangesReportTheError) {
    CTempDir dir;
    WriteFile(dir / "file", "x");
    uint32_t bits = 0;
    EXPECT_FALSE(platform::GetAttributes(dir / "missing", bits));
    EXPECT_EQ(platform::LastError().Errno(), ENOENT);
    EXPECT_FALSE(SetBits(dir / "missing", 0));
    EXPECT_EQ(platform::LastError().Errno(), ENOENT);

    platform::TestInjectFault(platform::FaultOp::SetAttributes, 1, EIO);
    EXPECT_FALSE(SetBits(dir / "file", kAttrReadOnly));
    EXPECT_EQ(platform::LastError().Errno(), EIO);
    EXPECT_EQ(Attributes(dir / "file"), kAttrArchive) << "nothing changed";
}

TEST(Attributes, OwnerClearsArchiveOfHisReadOnlyFile) {
    // The kernel asks for write permission to change a user attribute; Windows does not.
    CTempDir dir;
    const std::string path = dir / "locked";
    WriteFile(path, "x");
    testing_support::SetMode(path, 0444);
    platform_test::GiveToOrdinaryUser(path);
    platform_test::GiveToOrdinaryUser(dir.Path());
    std::string skip;
    const std::string quoted = testing_support::ShellQuote(path);
    std::string out = platform_test::ProbeAsOrdinaryUser("setattr " + quoted + " 1", &skip);
    if (!skip.empty()) {
        GTEST_SKIP() << skip;
    }
    EXPECT_EQ(out, "ok\n");
    EXPECT_EQ(platform_test::ProbeAsOrdinaryUser("getattr " + quoted, &skip), "1\n");
    EXPECT_EQ(Mode(path), 0444u);
    // Someone else's file is refused, and stays as it was.
    WriteFile(dir / "root-owned", "x");
    if (testing_support::IsRoot()) {
        out = platform_test::ProbeAsOrdinaryUser(
            "setattr " + testing_support::ShellQuote(dir / "root-owned") + " 1", &skip);
        EXPECT_EQ(out.rfind("error ", 0), 0u) << out;
        EXPECT_EQ(Attributes(dir / "root-owned"), kAttrArchive);
    }
}

}  // namespace
