// SPDX-License-Identifier: GPL-3.0-or-later
// Input from outside the user's own choice: the run log under a predictable name in a shared temporary
// folder, file names that carry terminal control sequences into that log, set-id bits of files on a
// handed-over disk, and a per-folder settings file that is not a file.

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/FileSystem.h"
#include "run/RunLog.h"
#include "tests/TestSupport.h"
#include "tests/reliability/ReliabilitySupport.h"

using testing_support::CTempDir;
using testing_support::Exists;
using testing_support::MakeFolder;
using testing_support::ReadFile;
using testing_support::SetModTime;
using testing_support::WriteFile;

namespace {

// Points $XDG_STATE_HOME (where the run log lies) at folder for the lifetime of the object.
class CTempFolderAt {
  public:
    explicit CTempFolderAt(const std::string& folder)
        : m_old(getenv("XDG_STATE_HOME") ? getenv("XDG_STATE_HOME") : "") {
        setenv("XDG_STATE_HOME", folder.c_str(), 1);
    }
    ~CTempFolderAt() { setenv("XDG_STATE_HOME", m_old.c_str(), 1); }
    CTempFolderAt(const CTempFolderAt&) = delete;
    CTempFolderAt& operator=(const CTempFolderAt&) = delete;

  private:
    const std::string m_old;
};

}  // namespace

// Whatever another user plants under the run log's name in a shared temporary folder, a log line is never
// written into another file (through a link, a second hard link or a file someone else owns) and nothing
// blocks. The planted entry and the file it leads to stay as they were.
TEST(SecurityTest, RunLogIsNeverWrittenThroughAPlantedEntry) {
    struct Row {
        const char* name;
        std::function<void(const std::string& log, const std::string& victim)> plant;
    };
    const Row rows[] = {
        {"symbolic link to a file of the user",
         [](const std::string& log, const std::string& victim) {
             ASSERT_EQ(symlink(victim.c_str(), log.c_str()), 0);
         }},
        {"dangling symbolic link",
         [](const std::string& log, const std::string& victim) {
             ASSERT_EQ(symlink((victim + ".new").c_str(), log.c_str()), 0);
         }},
        {"second hard link of a file of the user",
         [](const std::string& log, const std::string& victim) {
             ASSERT_EQ(link(victim.c_str(), log.c_str()), 0);
         }},
        {"pipe", [](const std::string& log, const std::string&) { ASSERT_EQ(mkfifo(log.c_str(), 0666), 0); }},
        {"folder", [](const std::string& log, const std::string&) { MakeFolder(log); }},
        {"file of another user",
         [](const std::string& log, const std::string&) {
             WriteFile(log, "planted\n");
             if (geteuid() == 0) {
                 ASSERT_EQ(chown(log.c_str(), 65534, 65534), 0);
             } else {
                 GTEST_SKIP() << "needs root to give a file to another user";
             }
         }},
    };
    for (const Row& row : rows) {
        CTempDir dir;
        const std::string tmp = dir / "tmp";
        MakeFolder(tmp);
        MakeFolder(tmp + "/tandrel");
        const std::string log = tmp + "/tandrel/TandrelAutoRun.log";
        const std::string victim = dir / "victim.sh";
        WriteFile(victim, "echo hello\n");
        row.plant(log, victim);
        const reliability::TreeState before = reliability::Snapshot(dir.Path());

        {
            CTempFolderAt at(tmp);
            WriteRunLog("$(touch /tmp/owned)", RunLogDetail);
        }

        EXPECT_EQ(reliability::Differences(before, reliability::Snapshot(dir.Path())), "") << row.name;
        EXPECT_EQ(ReadFile(victim), "echo hello\n") << row.name;
    }
}

// A file name can hold any byte but "/" and NUL. Written into the run log, the escape and control bytes
// of a name would be obeyed by the terminal of whoever reads the log with cat or tail; line breaks would
// forge lines. The log shows each of them as "?", keeping tabs.
TEST(SecurityTest, ControlCharactersOfNamesAreDefusedInTheRunLog) {
    CTempDir dir;
    CTempFolderAt at(dir.Path());
    const std::string name =
        "a\x1b]0;owned\x07"
        "b\x1b[2Jc\x08\x7f\td\x9b"
        "e";
    WriteRunLog("Copy /src/" + name + " to /dst/" + name, RunLogDetail);
    WriteRunLog("forged\r\n  [01/01/30 00:00:00] OK!", RunLogDetail);
    const std::string log = ReadFile(dir / "tandrel/TandrelAutoRun.log");
    const std::string body = log.substr(log.find("\n\n") + 2);
    for (char c : body) {
        const unsigned char u = static_cast<unsigned char>(c);
        EXPECT_FALSE((u < 0x20 && c != '\t' && c != '\n') || u == 0x7f)
            << "control byte " << int(u) << " in " << body;
    }
    EXPECT_NE(body.find("] Copy /src/a?]0;owned?b?[2Jc??\td\x9b"
                        "e to /dst/"),
              std::string::npos)
        << body;
    // The forged line is joined to its own line, as every multi-line text is.
    EXPECT_NE(body.find("] forged  [01/01/30 00:00:00] OK!\n"), std::string::npos) << body;
}

// Copies never carry set-user-id or set-group-id bits: a copy made by root from a disk mounted nosuid would
// otherwise turn a stranger's file into a privileged program on the destination's file system.
TEST(SecurityTest, CopiesDropSetIdBits) {
    struct Row {
        unsigned sourceMode;
        unsigned expectedMode;
    };
    const Row rows[] = {{04755, 0755}, {02755, 0755}, {06750, 0750}, {01644, 01644}, {0640, 0640}};
    for (const Row& row : rows) {
        CTempDir dir;
        const std::string from = dir / "prog";
        const std::string to = dir / "copy";
        WriteFile(from, "#!/bin/sh\n");
        testing_support::SetMode(from, row.sourceMode);
        ASSERT_PLATFORM_OK(testing_support::CopyAtPaths(from, to));
        EXPECT_EQ(testing_support::Mode(to), row.expectedMode)
            << std::oct << "source mode " << row.sourceMode;
    }
}

// A per-folder settings file that is a pipe, a folder or a link to a device must not stop an unattended
// run from starting or make it hang: it is treated as missing.
TEST(SecurityTest, PerFolderSettingsFileThatIsNoFileIsTreatedAsMissing) {
    struct Row {
        const char* name;
        std::function<void(const std::string& path)> plant;
    };
    const Row rows[] = {
        {"pipe", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); }},
        {"folder", [](const std::string& p) { MakeFolder(p); }},
        {"link to an endless device",
         [](const std::string& p) { ASSERT_EQ(symlink("/dev/zero", p.c_str()), 0); }},
    };
    for (const Row& row : rows) {
        CTempDir home;
        const std::string src = home / "src/Data";
        const std::string dst = home / "dst/Data";
        WriteFile(src + "/a.txt", "a");
        MakeFolder(dst);
        row.plant(src + "/__TD.RVX");

        const reliability::RunResult r = reliability::RunProgram(
            home.Path(), reliability::FolderArguments(src, dst) + " /!b /!q", false, 60);

        EXPECT_EQ(r.exitCode, 0) << row.name << ": " << r.errorText;
        EXPECT_NE(r.log.find("] OK!\n"), std::string::npos) << row.name << "\n" << r.log;
        EXPECT_EQ(ReadFile(dst + "/a.txt"), "a") << row.name;
    }
}

// With "CreateRvx" on, a run writes "__TD.RVX" into the source folder when none is there. A link planted
// under that name (on a stick, pointing at a file of the user) counts as one that is there: nothing is
// written through it, and the file it points at is not copied onto the stick either.
TEST(SecurityTest, PlantedLinkUnderTheFolderFileNameIsNeitherFollowedNorReplaced) {
    CTempDir home;
    const std::string src = home / "src/Data";
    const std::string dst = home / "dst/Data";
    const std::string victim = home / "private.txt";
    WriteFile(src + "/a.txt", "a");
    MakeFolder(dst);
    WriteFile(victim, "[TD]\nsecret=1\n");
    WriteFile(home / "config/tandrel/Tandrel.ini", "[Config]\nCreateRvx=1\n");
    ASSERT_EQ(symlink(victim.c_str(), (src + "/__TD.RVX").c_str()), 0);

    const reliability::RunResult r =
        reliability::RunProgram(home.Path(), reliability::FolderArguments(src, dst) + " /!b /!q", false, 60);

    EXPECT_EQ(r.exitCode, 0) << r.errorText;
    EXPECT_EQ(ReadFile(victim), "[TD]\nsecret=1\n");
    struct stat st;
    ASSERT_EQ(lstat((src + "/__TD.RVX").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the planted link was replaced";
}

// Without a display the program's messages go to standard error, often a terminal: a file name's escape
// sequences in a message (here the alert of an unattended run that stopped at an unreadable file) are
// shown as "?", never passed to the terminal.
TEST(SecurityTest, MessagesOnStandardErrorCarryNoControlBytesOfNames) {
    if (testing_support::RunAsOrdinaryUser("true") != 0) {
        GTEST_SKIP() << "cannot run a command as an ordinary user here (setpriv missing or refused)";
    }
    CTempDir home;
    const std::string src = home / "src/Data";
    const std::string dst = home / "dst/Data";
    const std::string name = "\x1b]0;owned\x07\x1b[2J.txt";
    WriteFile(src + "/" + name, "unreadable");
    MakeFolder(dst);
    MakeFolder(home / "config");
    reliability::GiveToOrdinaryUser(home.Path());
    testing_support::SetMode(src + "/" + name, 0000);

    const reliability::RunResult r = reliability::RunProgram(
        home.Path(), reliability::FolderArguments(src, dst) + " /!b /!q /alert", true, 60);

    EXPECT_EQ(r.exitCode, 0) << r.errorText;
    EXPECT_NE(r.errorText.find("?]0;owned??[2J.txt: Permission denied"), std::string::npos) << r.errorText;
    for (char c : r.errorText) {
        const auto byte = static_cast<unsigned char>(c);
        EXPECT_FALSE((byte < 0x20 && c != '\n' && c != '\t') || byte == 0x7f)
            << "control byte " << int(byte) << " in: " << r.errorText;
    }
}

// Folders and the roots themselves swapped for links to a foreign folder at random moments while runs
// work (renameat2 with RENAME_EXCHANGE, in both trees), and a user saving files into the destination
// meanwhile: the runs reach every file through folders held open from the roots judged, so no byte lands
// in the foreign folder, none of its files is marked, none of its contents reaches either tree, and no
// save is replaced by a copy. A run may stop with a message; it never goes through a link.
TEST(SecurityTest, FoldersSwappedForLinksDuringRunsSendNothingOutside) {
    CTempDir home;
    const std::string src = home / "src/Data";
    const std::string dst = home / "dst/Data";
    const std::string foreign = home / "foreign";
    for (int i = 0; i < 300; ++i) {
        const std::string name = "/f" + std::to_string(i);
        WriteFile(src + "/sub" + name, std::string(4096, 'o'));
        WriteFile(foreign + name, "foreign");
    }
    MakeFolder(dst + "/sub");
    ASSERT_EQ(symlink(foreign.c_str(), (home / "swap-src").c_str()), 0);
    ASSERT_EQ(symlink(foreign.c_str(), (home / "swap-dst").c_str()), 0);
    // A run that starts while a root is swapped follows the link and refuses the pair ("foreign" is not
    // "Data"); one that holds its roots already never sees the swap.
    ASSERT_EQ(symlink(foreign.c_str(), (home / "swap-srcroot").c_str()), 0);
    ASSERT_EQ(symlink(foreign.c_str(), (home / "swap-dstroot").c_str()), 0);
    const reliability::TreeState foreignBefore = reliability::Snapshot(foreign);

    std::atomic<bool> running{true};
    std::atomic<int> swaps{0};
    std::mutex swapping;  // held for a swap and its way back; the test holds it to touch the trees itself
    std::thread swapper([&] {
        std::mt19937 random(7);
        const std::pair<std::string, std::string> pairs[] = {{src + "/sub", home / "swap-src"},
                                                             {dst + "/sub", home / "swap-dst"},
                                                             {src, home / "swap-srcroot"},
                                                             {dst, home / "swap-dstroot"}};
        while (running) {
            // The roots half as often: a run that meets a swapped root at its start is refused at once.
            const auto& [folder, link] = pairs[random() % 6 % 4];
            const auto pause = std::chrono::microseconds(random() % 400);
            {
                std::lock_guard<std::mutex> lock(swapping);
                if (renameat2(AT_FDCWD, folder.c_str(), AT_FDCWD, link.c_str(), RENAME_EXCHANGE) == 0) {
                    ++swaps;
                    std::this_thread::sleep_for(pause);
                    // Back: the test judges the trees as they were, once the runs are over.
                    while (renameat2(AT_FDCWD, folder.c_str(), AT_FDCWD, link.c_str(), RENAME_EXCHANGE) !=
                           0) {
                    }
                }
            }
            std::this_thread::sleep_for(pause);
        }
    });
    // The user saves over copies a synchronize is about to replace (each round their sources are newer),
    // with today's time, newer than every source: a save the scan saw is copied into the source, one made
    // after it stops the run, and none is ever replaced.
    std::atomic<bool> synchronizing{false};
    std::map<int, std::string> saved;  // of the round, guarded by swapping
    std::thread saver([&] {
        std::mt19937 random(9);
        for (int k = 0; running; ++k) {
            std::this_thread::sleep_for(std::chrono::microseconds(500 + random() % 2000));
            if (synchronizing) {
                std::lock_guard<std::mutex> lock(swapping);
                const int i = static_cast<int>(random() % 43) * 7;
                saved[i] = "user " + std::to_string(k);
                WriteFile(dst + "/sub/f" + std::to_string(i), saved[i]);
            }
        }
    });
    const int rounds = 24;
    int saves = 0;
    for (int round = 0; round < rounds; ++round) {
        // Fresh work for every round: the source's times move on, the destination's copies age.
        {
            std::lock_guard<std::mutex> lock(swapping);
            for (int i = 0; i < 300; i += 7) {
                SetModTime(src + "/sub/f" + std::to_string(i), 1600000000 + round);
                if (Exists(dst + "/sub/f" + std::to_string(i))) {
                    SetModTime(dst + "/sub/f" + std::to_string(i), 1500000000);
                }
            }
            saved.clear();
        }
        const char* mode = round % 2 == 0 ? " /!b /!q" : " /!s /!q";
        synchronizing = round % 2 == 1;
        const reliability::RunResult r =
            reliability::RunProgram(home.Path(), reliability::FolderArguments(src, dst) + mode);
        synchronizing = false;
        const bool refusedAtStart =
            r.exitCode == 1 && r.errorText.find("General Error!") != std::string::npos;
        EXPECT_TRUE(r.exitCode == 0 || refusedAtStart) << r.errorText;
        std::lock_guard<std::mutex> lock(swapping);
        saves += static_cast<int>(saved.size());
        for (const auto& [i, text] : saved) {
            EXPECT_EQ(ReadFile(dst + "/sub/f" + std::to_string(i)), text) << "a save was replaced";
        }
    }
    running = false;
    swapper.join();
    saver.join();
    std::printf("swap test: %d rounds, %d swaps, %d saves\n", rounds, swaps.load(), saves);
    EXPECT_GT(swaps.load(), rounds) << "the swaps must meet the runs";

    EXPECT_EQ(reliability::Differences(foreignBefore, reliability::Snapshot(foreign)), "");
    EXPECT_GT(saves, 0) << "the saves must meet the runs";
    for (int i = 0; i < 300; ++i) {
        char record[64];
        const std::string name = foreign + "/f" + std::to_string(i);
        EXPECT_LT(getxattr(name.c_str(), "user.tandrel.archive", record, sizeof record), 0)
            << name << " marked";
    }
    // By hash, not size: a save "user 42" is as long as "foreign".
    const uint64_t foreignHash = foreignBefore.at("f0").hash;
    for (const std::string& tree : {src, dst}) {
        for (const auto& [name, state] : reliability::FilesOnly(reliability::Snapshot(tree))) {
            EXPECT_NE(state.hash, foreignHash) << tree << "/" << name << ": the foreign folder's contents";
        }
    }
}
