// SPDX-License-Identifier: GPL-3.0-or-later
// Profile files on disk through CReg and the file operations of CProfileFile.
#include "support/Reg.h"

#include <cerrno>
#include <climits>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/FaultSeam.h"
#include "support/ProfileFile.h"
#include "tests/TestSupport.h"
#include "tests/support/SupportTestEnv.h"

using testing_support::CPrivateFolders;
using testing_support::CTempDir;
using testing_support::Exists;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

// The record of the settings file, exchanged by one list of calls in either mode.
struct Record {
    std::string destination, source, ignore;
    int createRvx = 0;
    int checkInOut = 0;
};

// True when every write of it was stored.
bool Exchange(int mode, Record& record, const std::string& file) {
    CReg reg(mode, "Init", file);
    reg.ExchangeString("m_strDestinationDir", "", record.destination);
    reg.ExchangeString("m_strSourceDir", "", record.source);
    reg.SetSection("Config");
    reg.ExchangeString("Ignore", "bak tmp", record.ignore);
    reg.ExchangeInt("CreateRvx", 0, record.createRvx);
    reg.ExchangeInt("EnableCheckInOut", 0, record.checkInOut);
    return reg.Commit();
}

TEST(Reg, ReadingAMissingFileGivesDefaultsAndCreatesNothing) {
    CPrivateFolders folders;
    Record record{"stale", "stale", "stale", 7, 7};
    Exchange(CReg::Read, record, "Tandrel.ini");
    EXPECT_EQ(record.destination, "");
    EXPECT_EQ(record.source, "");
    EXPECT_EQ(record.ignore, "bak tmp");
    EXPECT_EQ(record.createRvx, 0);
    EXPECT_EQ(record.checkInOut, 0);
    EXPECT_FALSE(Exists(folders.Config() + "Tandrel.ini"));
    EXPECT_FALSE(Exists(folders.Config())) << "reading must not even create the configuration folder";
}

TEST(Reg, WriteThenReadGivesTheRecordBackFromTheConfigFolder) {
    CPrivateFolders folders;
    Record saved{"/dest/", "/src dir/", "bak tmp log", 1, 0};
    Exchange(CReg::Write, saved, "Tandrel.ini");
    const std::string path = folders.Config() + "Tandrel.ini";
    ASSERT_TRUE(Exists(path));
    EXPECT_EQ(testing_support::Mode(folders.Config()), 0700u);
    EXPECT_EQ(ReadFile(path),
              "[Init]\nm_strDestinationDir=/dest/\nm_strSourceDir=/src dir/\n\n"
              "[Config]\nIgnore=bak tmp log\nCreateRvx=1\nEnableCheckInOut=0\n");
    Record loaded;
    Exchange(CReg::Read, loaded, "Tandrel.ini");
    EXPECT_EQ(loaded.destination, saved.destination);
    EXPECT_EQ(loaded.source, saved.source);
    EXPECT_EQ(loaded.ignore, saved.ignore);
    EXPECT_EQ(loaded.createRvx, 1);
    EXPECT_EQ(loaded.checkInOut, 0);
    // A second save of a changed record rewrites the values in place.
    saved.checkInOut = 1;
    Exchange(CReg::Write, saved, "Tandrel.ini");
    Exchange(CReg::Read, loaded, "Tandrel.ini");
    EXPECT_EQ(loaded.checkInOut, 1);
}

// Every replacement of the file waits for the disk: a save is one replacement, and a save of what the
// file holds already is none.
TEST(Reg, ASaveReplacesTheFileOnceAndNotAtAllWhenNothingChanged) {
    CPrivateFolders folders;
    const std::string path = folders.Config() + "Tandrel.ini";
    Record saved{"/dest/", "/src/", "bak", 1, 1};
    platform::TestInjectFault(platform::FaultOp::WriteProfile, 2, EIO);
    EXPECT_TRUE(Exchange(CReg::Write, saved, "Tandrel.ini")) << "five keys, one write";
    const std::string text = ReadFile(path);
    EXPECT_NE(text.find("EnableCheckInOut=1"), std::string::npos) << text;

    platform::TestInjectFault(platform::FaultOp::WriteProfile, 1, EIO);
    EXPECT_TRUE(Exchange(CReg::Write, saved, "Tandrel.ini")) << "nothing changed: no write to fail";
    saved.ignore = "tmp";
    EXPECT_FALSE(Exchange(CReg::Write, saved, "Tandrel.ini"));
    platform::TestClearFaults();
    EXPECT_EQ(ReadFile(path), text) << "the failed save left the file as it was";
}

TEST(Reg, WritingKeepsForeignContentAndLineEnds) {
    CTempDir dir;
    const std::string path = dir / "__TD.RVX";
    WriteFile(path, "; edited by hand\r\n[td]\r\ndestdir = /old/\r\nExtra=keep me\r\n\r\n[Other]\r\nx=1\r\n");
    CReg reg(CReg::Write, "TD", path);
    std::string dest = "/new/";
    reg.ExchangeString("DestDir", "", dest);
    std::string ignore = "+";
    reg.ExchangeString("Ignore", "", ignore);
    EXPECT_TRUE(reg.Commit());
    EXPECT_EQ(
        ReadFile(path),
        "; edited by hand\r\n[td]\r\ndestdir=/new/\r\nExtra=keep me\r\nIgnore=+\r\n\r\n[Other]\r\nx=1\r\n");
    EXPECT_EQ(reg.GetString("ignore", "default"), "+") << "GetString reads in write mode too";
}

TEST(Reg, IntegersReadLikeThePlatformDid) {
    struct Row {
        const char* stored;
        int expected;
    } rows[] = {
        {"1", 1},
        {"0", 0},
        {"-12", -12},
        {"+7", 7},
        {"12abc", 12},
        {"abc", 0},
        {"-", 0},
        {"", 42},
        {"  5", 5},
        {"0042", 42},
        {"2147483647", INT_MAX},
        {"99999999999", INT_MAX},
        {"-2147483648", INT_MIN},
        {"-99999999999", INT_MIN},
        {"1.5", 1},
        {"0x10", 0},
    };
    CTempDir dir;
    const std::string path = dir / "ints.ini";
    for (const Row& row : rows) {
        WriteFile(path, std::string("[S]\nk=") + row.stored + "\n");
        int value = -999;
        CReg(CReg::Read, "S", path).ExchangeInt("k", 42, value);
        EXPECT_EQ(value, row.expected) << "stored '" << row.stored << "'";
        EXPECT_EQ(CReg::ParseInt(row.stored, 42), row.expected) << "stored '" << row.stored << "'";
    }
    int missing = -999;
    CReg(CReg::Read, "S", path).ExchangeInt("absent", 42, missing);
    EXPECT_EQ(missing, 42);
    int one = 1;
    CReg(CReg::Write, "S", path).ExchangeInt("one", 0, one);
    EXPECT_NE(ReadFile(path).find("\none=1\n"), std::string::npos) << ReadFile(path);
}

TEST(Reg, EachObjectKeepsItsOwnFile) {
    CTempDir dir;
    const std::string first = dir / "first.ini";
    const std::string second = dir / "second.ini";
    WriteFile(first, "[S]\nk=from first\n");
    {
        CReg reader(CReg::Read, "S", first);
        EXPECT_EQ(reader.GetString("k", ""), "from first");
    }
    CReg writer(CReg::Write, "S", second);
    std::string value = "to second";
    writer.ExchangeString("k", "", value);
    ASSERT_TRUE(writer.Commit());
    EXPECT_EQ(ReadFile(first), "[S]\nk=from first\n");
    EXPECT_EQ(ReadFile(second), "[S]\nk=to second\n");

    // An older object is not redirected by a newer one for another file.
    CReg older(CReg::Read, "S", first);
    CReg newer(CReg::Read, "S", second);
    EXPECT_EQ(older.GetString("k", ""), "from first");
    EXPECT_EQ(newer.GetString("k", ""), "to second");
}

TEST(Reg, GarbageFilesGiveDefaultsAndSurviveAWrite) {
    CTempDir dir;
    const std::string longLine(100 * 1024, 'x');
    struct Row {
        const char* name;
        std::string content;
    } rows[] = {
        {"no closing bracket", "[S\nk=garbage\n"},
        {"NUL bytes", std::string("\0\0[S\0]\nk\0=1\n", 12)},
        {"100 KB line", "[Other]\n" + longLine + "\n"},
        {"binary", std::string("\x7f"
                               "ELF\x02\x01\x01\0\0\0",
                               10)},
    };
    for (const Row& row : rows) {
        const std::string path = dir / "garbage.ini";
        WriteFile(path, row.content);
        CReg reader(CReg::Read, "S", path);
        EXPECT_EQ(reader.GetString("k", "default"), "default") << row.name;
        std::string value = "new";
        CReg(CReg::Write, "S", path).ExchangeString("k", "", value);
        const std::string after = ReadFile(path);
        EXPECT_EQ(reader.GetString("k", "default"), "new") << row.name;
        // Whatever could not be read is still there, in front of what was added.
        EXPECT_EQ(after.find(row.content.substr(0, row.content.find('\n'))), 0u) << row.name;
        EXPECT_GE(after.size(), row.content.size()) << row.name;
    }
}

TEST(Reg, AFolderOrAMissingFolderIsNoProfile) {
    CTempDir dir;
    testing_support::MakeFolder(dir / "afolder");
    for (const std::string& path : {dir / "afolder", dir / "missing/x.ini"}) {
        CReg reg(CReg::Write, "S", path);
        EXPECT_EQ(reg.GetString("k", "default"), "default") << path;
        std::string value = "v";
        reg.ExchangeString("k", "", value);
        EXPECT_FALSE(reg.Commit()) << path;
    }
    EXPECT_FALSE(Exists(dir / "missing"));
}

TEST(Reg, ConcurrentWritersOfOneFileLoseNothing) {
    CPrivateFolders folders;
    constexpr int kKeys = 40;
    auto writeKeys = [](const std::string& prefix) {
        for (int i = 0; i < kKeys; ++i) {
            CReg reg(CReg::Write, "S", "Shared.ini");
            int value = i;
            reg.ExchangeInt(prefix + std::to_string(i), 0, value);
        }
    };
    std::thread a(writeKeys, "a");
    std::thread b(writeKeys, "b");
    a.join();
    b.join();
    CReg reader(CReg::Read, "S", "Shared.ini");
    for (const char* prefix : {"a", "b"}) {
        for (int i = 0; i < kKeys; ++i) {
            int value = -1;
            reader.ExchangeInt(prefix + std::to_string(i), -1, value);
            EXPECT_EQ(value, i) << prefix << i;
        }
    }
}

// Run by UnreadableFileAsOrdinaryUser.
TEST(RegAsUser, DISABLED_UnreadableFileGivesDefaultsAndIsNotReplaced) {
    const std::string dir = testing_support::ChildDir();
    if (dir.empty()) {
        GTEST_SKIP() << "runs only as the ordinary-user child of UnreadableFileAsOrdinaryUser";
    }
    CReg reg(CReg::Write, "S", dir + "/locked.ini");
    EXPECT_EQ(reg.GetString("k", "default"), "default");
    std::string value = "overwritten";
    reg.ExchangeString("other", "", value);
    EXPECT_FALSE(reg.Commit());
}

TEST(Reg, UnreadableFileAsOrdinaryUser) {
    CTempDir dir;
    testing_support::SetMode(dir.Path(), 0777);
    const std::string path = dir / "locked.ini";
    const std::string content = "[S]\nk=secret\nkeep=all of this\n";
    WriteFile(path, content);
    testing_support::SetMode(path, 0);
    std::string output;
    const int status = testing_support::RunCasesAsOrdinaryUser("RegAsUser.*", dir.Path(), output);
    if (status == -1) {
        GTEST_SKIP() << "cannot run as an ordinary user here (no setpriv)";
    }
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
    // The file that could not be read was not replaced by one holding only the new key.
    testing_support::SetMode(path, 0600);
    EXPECT_EQ(ReadFile(path), content);
    EXPECT_EQ(testing_support::ListNames(dir.Path()), std::vector<std::string>{"locked.ini"});
}

}  // namespace
