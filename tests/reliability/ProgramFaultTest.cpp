// SPDX-License-Identifier: GPL-3.0-or-later
// The built program, run headless as cron runs it, against disks that fill up, folders it may not write,
// a kill in the middle of a copy, and trees with awkward names. Every case checks both trees afterwards,
// that no temporary file is left, and that the run log and exit code say what happened.

#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/TestSupport.h"
#include "tests/reliability/ReliabilitySupport.h"

using reliability::Differences;
using reliability::FilesOnly;
using reliability::FolderArguments;
using reliability::RunProgram;
using reliability::RunResult;
using reliability::Snapshot;
using reliability::TempLeftovers;
using reliability::TreeState;
using testing_support::CTempDir;
using testing_support::MakeFolder;
using testing_support::ReadFile;
using testing_support::SetModTime;
using testing_support::WriteFile;

extern char** environ;

namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The run log's last outcome line: "OK!", "ERROR!", "General Error!" or "" when none was written.
std::string Outcome(const std::string& log) {
    for (const char* word : {"] General Error!\n", "] ERROR!\n", "] OK!\n"}) {
        if (Contains(log, word)) {
            std::string w = word;
            return w.substr(2, w.size() - 3);
        }
    }
    return "";
}

// Every entry of after is the same as in before or as in the source: no file is half old, half new.
std::string NotOldNorNew(const TreeState& before, const TreeState& source, const TreeState& after) {
    std::string out;
    for (const auto& [name, state] : after) {
        const auto old = before.find(name);
        const auto fresh = source.find(name);
        const bool isOld = old != before.end() && old->second == state;
        const bool isNew = fresh != source.end() && fresh->second == state;
        if (!isOld && !isNew) {
            out += name + " is neither the old nor the new file\n";
        }
    }
    for (const auto& [name, state] : before) {
        if (!after.count(name)) {
            out += name + " was lost\n";
        }
    }
    return out;
}

// Waits until the run log at logPath says a run has begun (a slow start under a sanitizer must not
// decide the outcome), at most about ten seconds.
void AwaitRunStart(const std::string& logPath) {
    for (int wait = 0; wait < 2000 && !Contains(ReadFile(logPath), "start "); ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// size bytes that differ from one seed to another and within the data (a block of 251 values repeated).
std::string Pattern(size_t size, char seed) {
    std::string block(251 * 4096, '\0');
    for (size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<char>(seed + static_cast<char>(i % 251));
    }
    std::string data;
    data.reserve(size);
    while (data.size() < size) {
        data.append(block, 0, std::min(block.size(), size - data.size()));
    }
    return data;
}

}  // namespace

// A destination file system that fills up halfway through a copy: the run stops with the system's text,
// the older copy of the file that did not fit is still there, and the space of the new one is given back.
TEST(ProgramFaultTest, FullDestinationDiskStopsTheRunAndKeepsTheOlderCopy) {
    CTempDir home;
    const std::string src = home / "src/Data";
    const std::string mountPoint = home / "dst";
    MakeFolder(mountPoint);
    reliability::CTmpfsMount disk(mountPoint, "size=1m,mode=0755");
    if (!disk.Mounted()) {
        GTEST_SKIP() << disk.Reason();
    }
    const std::string dst = mountPoint + "/Data";
    WriteFile(src + "/big.bin", Pattern(3 << 20, 'a'));  // three times the disk
    WriteFile(src + "/small.txt", "new small");
    WriteFile(dst + "/big.bin", Pattern(100 << 10, 'z'));
    WriteFile(dst + "/small.txt", "old small");
    SetModTime(src + "/big.bin", 2000000000);
    SetModTime(src + "/small.txt", 2000000000);
    SetModTime(dst + "/big.bin", 1000000000);
    SetModTime(dst + "/small.txt", 1000000000);
    const TreeState sourceBefore = Snapshot(src);
    const TreeState destBefore = Snapshot(dst);

    RunResult r = RunProgram(home.Path(), FolderArguments(src, dst) + " /!b /!q");

    EXPECT_EQ(r.exitCode, 0) << r.errorText;
    EXPECT_EQ(Outcome(r.log), "ERROR!") << r.log;
    EXPECT_TRUE(
        Contains(r.log, "] Copy " + src + "/big.bin to " + dst + "/big.bin: No space left on device\n"))
        << r.log;
    const TreeState destAfter = Snapshot(dst);
    EXPECT_EQ(destAfter.at("big.bin"), destBefore.at("big.bin")) << "the older copy must survive";
    EXPECT_EQ(NotOldNorNew(destBefore, sourceBefore, destAfter), "");
    EXPECT_EQ(Differences(sourceBefore, Snapshot(src)), "") << "the source is only read";
    EXPECT_TRUE(TempLeftovers(mountPoint).empty());
    // Nothing invisible holds on to the space of the failed copy.
    std::string du;
    testing_support::RunCommand(
        "df -k --output=used " + testing_support::ShellQuote(mountPoint) + " | tail -1", &du);
    EXPECT_LT(std::stoi(du), 512) << "kB still used on the 1 MB disk";
}

// An ordinary user whose destination (or source) refuses access: the run stops at the first refusal with
// the system's text, says ERROR!, and changes nothing it was not allowed to.
TEST(ProgramFaultTest, RefusedAccessAsAnOrdinaryUserIsReportedAndChangesNothing) {
    if (testing_support::RunAsOrdinaryUser("true") != 0) {
        GTEST_SKIP() << "cannot run a command as an ordinary user here (setpriv missing or refused)";
    }
    struct Row {
        const char* name;
        const char* expectedText;  // in the run log after "] "
        void (*arrange)(const std::string& src, const std::string& dst);
    };
    const Row rows[] = {
        {"destination folder not writable", "Permission denied",
         [](const std::string& src, const std::string& dst) {
             WriteFile(src + "/new.txt", "new");
             testing_support::SetMode(dst, 0555);
         }},
        // The first folder to be made cannot be made, and that is what the message says.
        {"missing subfolder under a destination that is not writable", "Permission denied",
         [](const std::string& src, const std::string& dst) {
             WriteFile(src + "/sub/deeper/new.txt", "new");
             testing_support::SetMode(dst, 0555);
         }},
        {"read-only target file", "Permission denied",
         [](const std::string& src, const std::string& dst) {
             WriteFile(src + "/file.txt", "new");
             WriteFile(dst + "/file.txt", "old");
             SetModTime(src + "/file.txt", 2000000000);
             SetModTime(dst + "/file.txt", 1000000000);
             testing_support::SetMode(dst + "/file.txt", 0444);
         }},
        {"source file the user may not read", "Permission denied",
         [](const std::string& src, const std::string&) {
             WriteFile(src + "/secret.txt", "secret");
             testing_support::SetMode(src + "/secret.txt", 0000);
         }},
    };
    for (const Row& row : rows) {
        CTempDir home;
        const std::string src = home / "src/Data";
        const std::string dst = home / "dst/Data";
        MakeFolder(src);
        MakeFolder(dst);
        MakeFolder(home / "config");
        reliability::GiveToOrdinaryUser(home.Path());
        row.arrange(src, dst);
        reliability::GiveToOrdinaryUser(home.Path());  // files the row made belong to the user as well
        const TreeState sourceBefore = Snapshot(src);
        const TreeState destBefore = Snapshot(dst);

        RunResult r = RunProgram(home.Path(), FolderArguments(src, dst) + " /!b /!q", true);

        EXPECT_EQ(r.exitCode, 0) << row.name << ": " << r.errorText;
        EXPECT_EQ(Outcome(r.log), "ERROR!") << row.name << "\n" << r.log;
        EXPECT_TRUE(Contains(r.log, std::string(": ") + row.expectedText + "\n")) << row.name << "\n"
                                                                                  << r.log;
        EXPECT_EQ(Differences(destBefore, Snapshot(dst)), "") << row.name;
        EXPECT_EQ(Differences(sourceBefore, Snapshot(src)), "") << row.name;
        EXPECT_TRUE(TempLeftovers(home.Path()).empty()) << row.name;
    }
}

// SIGKILL while a large file is copied over an older copy: the target is afterwards byte for byte the old
// file or the new one, and (the unnamed temporary file of the kernel being gone with the process) nothing
// else is left in the folder.
TEST(ProgramFaultTest, KillInTheMiddleOfALargeCopyLeavesTheOldOrTheNewFile) {
    constexpr size_t kSize = size_t{128} << 20;
    CTempDir home;
    const std::string src = home / "src/Data";
    const std::string dst = home / "dst/Data";
    MakeFolder(home / "config");
    WriteFile(src + "/big.bin", Pattern(kSize, 'n'));
    WriteFile(dst + "/big.bin", Pattern(kSize, 'o'));
    SetModTime(src + "/big.bin", 2000000000);
    SetModTime(dst + "/big.bin", 1000000000);
    const TreeState sourceState = Snapshot(src);
    const TreeState oldState = Snapshot(dst);

    const pid_t pid =
        reliability::StartProgram(home.Path(), {"/srcdir:" + src, "/destdir:" + dst, "/!b", "/!q"});
    ASSERT_GT(pid, 0);

    // Wait until the program holds a partly written new file in the destination folder, then kill it.
    // The loop ends when the program ends by itself, too; no timing is asserted.
    const std::string fdFolder = "/proc/" + std::to_string(pid) + "/fd";
    bool killedMidCopy = false;
    int status = 0;
    for (;;) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            break;
        }
        if (DIR* dir = opendir(fdFolder.c_str())) {
            while (dirent* e = readdir(dir)) {
                const std::string fdPath = fdFolder + "/" + e->d_name;
                char target[4096];
                ssize_t n = readlink(fdPath.c_str(), target, sizeof target - 1);
                if (n <= 0) {
                    continue;
                }
                const std::string name(target, static_cast<size_t>(n));
                struct stat st;
                if (name.rfind(dst + "/", 0) == 0 && name != dst + "/big.bin" &&
                    stat(fdPath.c_str(), &st) == 0 && st.st_size > 0 &&
                    static_cast<size_t>(st.st_size) < kSize) {
                    kill(pid, SIGKILL);
                    killedMidCopy = true;
                    break;
                }
            }
            closedir(dir);
        }
        if (killedMidCopy) {
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }

    const TreeState after = Snapshot(dst);
    ASSERT_EQ(after.size(), 1u) << "only big.bin may be in the folder:\n" << Differences(oldState, after);
    const bool isOld = after.at("big.bin") == oldState.at("big.bin");
    const bool isNew = after.at("big.bin") == sourceState.at("big.bin");
    EXPECT_TRUE(isOld || isNew) << "the target is a mix of old and new";
    if (killedMidCopy) {
        EXPECT_TRUE(isOld) << "killed before its rename, the copy must not show under the real name";
        EXPECT_TRUE(WIFSIGNALED(status));
    } else {
        GTEST_SKIP()
            << "the copy ended before it could be caught halfway (the result was checked all the same)";
    }
}

// Trees that stretch names and paths: 255-byte names, 200 levels of folders, link loops, a pipe and a
// socket, names that are not UTF-8 or hold control characters. A backup copies every file and link, skips
// the pipe and socket, and ends.
TEST(ProgramFaultTest, AwkwardNamesAndDeepTreesAreCopiedAndTheRunEnds) {
    CTempDir home;
    const std::string src = home / "src/Data";
    const std::string dst = home / "dst/Data";
    MakeFolder(dst);
    WriteFile(src + "/" + std::string(251, 'n') + ".txt", "long name");
    std::string deep = src;
    for (int i = 0; i < 200; ++i) {
        deep += "/d";
    }
    WriteFile(deep + "/bottom.txt", "200 levels down");
    ASSERT_EQ(symlink("loop", (src + "/loop").c_str()), 0);
    ASSERT_EQ(symlink("b", (src + "/a").c_str()), 0);
    ASSERT_EQ(symlink("a", (src + "/b").c_str()), 0);
    ASSERT_EQ(symlink(".", (src + "/self").c_str()), 0);
    ASSERT_EQ(mkfifo((src + "/pipe").c_str(), 0644), 0);
    ASSERT_EQ(mknod((src + "/socket").c_str(), S_IFSOCK | 0644, 0), 0);
    for (const std::string name : {"\xff\xfe.txt", "caf\xe9", "line\nbreak.txt", "-rf", "\x1b[31mred",
                                   "tab\there", " leading blank", "back\\slash"}) {
        WriteFile(src + "/" + name, "odd: " + name);
    }
    const TreeState sourceState = Snapshot(src);

    RunResult r = RunProgram(home.Path(), FolderArguments(src, dst) + " /!b /!q");

    EXPECT_EQ(r.exitCode, 0) << r.errorText;
    EXPECT_EQ(Outcome(r.log), "OK!") << r.log;
    EXPECT_EQ(Differences(FilesOnly(sourceState), FilesOnly(Snapshot(dst))), "");
    EXPECT_EQ(Differences(sourceState, Snapshot(src)), "");
    EXPECT_TRUE(TempLeftovers(home.Path()).empty());
    // A name's line break must not split the log: every line after the header starts with a time stamp
    // (indented or not) or is empty.
    size_t lineStart = r.log.find("\n\n");
    ASSERT_NE(lineStart, std::string::npos) << r.log;
    for (size_t pos = lineStart + 1; pos < r.log.size();) {
        const size_t end = r.log.find('\n', pos);
        const std::string line = r.log.substr(pos, end - pos);
        EXPECT_TRUE(line.empty() || line[0] == '[' || line.rfind("  [", 0) == 0) << "log line: " << line;
        pos = end == std::string::npos ? r.log.size() : end + 1;
    }
}

// Two runs on the same trees at once (a cron backup while the window's run works): each makes folders
// the other is about to make, and names the other's copies take. A run ends "OK!" or stops at a name the
// other took, which it never replaces; a later run completes, and every file arrives intact.
TEST(ProgramFaultTest, TwoRunsOnTheSameTreesAtOnceLoseNothing) {
    CTempDir home;
    const std::string src = home / "src/Data";
    const std::string dst = home / "dst/Data";
    MakeFolder(dst);
    for (int i = 0; i < 600; ++i) {
        WriteFile(
            src + "/f" + std::to_string(i % 40) + "/g" + std::to_string(i % 7) + "/x" + std::to_string(i),
            std::string(static_cast<size_t>(i) * 7, 'x'));
    }
    MakeFolder(home / "one");
    MakeFolder(home / "two");
    const std::string arguments = FolderArguments(src, dst) + " /!b /!q";
    auto other = std::async(std::launch::async, [&] { return RunProgram(home / "two", arguments); });
    const RunResult first = RunProgram(home / "one", arguments);
    const RunResult second = other.get();
    for (const RunResult* r : {&first, &second}) {
        EXPECT_EQ(r->exitCode, 0) << r->errorText;
        EXPECT_TRUE(Outcome(r->log) == "OK!" || Contains(r->log, "another program saved a file there"))
            << r->log;
    }
    MakeFolder(home / "three");
    const RunResult last = RunProgram(home / "three", arguments);
    EXPECT_EQ(Outcome(last.log), "OK!") << last.log;
    EXPECT_EQ(Differences(FilesOnly(Snapshot(src)), FilesOnly(Snapshot(dst))), "");
    EXPECT_TRUE(TempLeftovers(dst).empty());
}

// Ctrl-C, a kill or a closed terminal at a random moment of a run: it stops between items, every target
// is its old copy or its new one, no temporary file stays, the log ends with "Interrupted" and
// "ERROR!", and the status is the shell's 128 + signal.
TEST(ProgramFaultTest, StopSignalsEndTheRunBetweenItems) {
    std::mt19937 random(11);
    int interrupted = 0;
    for (const int signal : {SIGINT, SIGTERM, SIGINT, SIGTERM}) {
        CTempDir home;
        const std::string src = home / "src/Data";
        const std::string dst = home / "dst/Data";
        for (int i = 0; i < 300; ++i) {
            const std::string name = "/d" + std::to_string(i % 10) + "/f" + std::to_string(i);
            WriteFile(src + name, std::string(65536, 'n'));
            WriteFile(dst + name, std::string(65536, 'o'));
            SetModTime(src + name, 2000000000);
            SetModTime(dst + name, 1000000000);
        }
        const TreeState newState = FilesOnly(Snapshot(src));
        const TreeState oldState = FilesOnly(Snapshot(dst));
        const pid_t pid =
            reliability::StartProgram(home.Path(), {"/srcdir:" + src, "/destdir:" + dst, "/!b", "/!q"});
        ASSERT_GT(pid, 0);
        const std::string logPath = home / "state/tandrel/TandrelAutoRun.log";
        AwaitRunStart(logPath);
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 120));
        kill(pid, signal);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        const std::string log = ReadFile(logPath);
        ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal itself, not between items";
        if (WEXITSTATUS(status) == 0) {
            EXPECT_EQ(Outcome(log), "OK!") << "finished before the signal";
        } else {
            ++interrupted;
            EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
            EXPECT_TRUE(Contains(log, "] Interrupted\n")) << log;
            EXPECT_EQ(Outcome(log), "ERROR!") << log;
        }
        for (const auto& [name, state] : FilesOnly(Snapshot(dst))) {
            EXPECT_TRUE(state == oldState.at(name) || state == newState.at(name)) << name << " is partial";
        }
        EXPECT_EQ(FilesOnly(Snapshot(dst)).size(), oldState.size());
        EXPECT_TRUE(TempLeftovers(home.Path()).empty());
    }
    EXPECT_GT(interrupted, 0) << "no signal met a run";
}

// Runs killed at random moments over files older than 1980 (zip contents, 1970 times), both ways: the
// copies they leave read as older than their originals, so the next complete run ends "OK!" with both
// trees alike, and no original's time has changed.
TEST(ProgramFaultTest, KilledRunsOverFilesFrom1970ConvergeWithoutChangingATime) {
    std::mt19937 random(27);
    int killed = 0;
    for (int round = 0; round < 8; ++round) {
        CTempDir home;
        const std::string src = home / "src/Data";
        const std::string dst = home / "dst/Data";
        MakeFolder(dst);
        const bool sync = round % 2 == 1;
        for (int i = 0; i < 400; ++i) {
            const std::string tree = sync && i % 2 == 1 ? dst : src;
            const std::string name = tree + "/d" + std::to_string(i % 8) + "/f" + std::to_string(i);
            WriteFile(name, std::string(static_cast<size_t>(i) * 31, 'x'));
            SetModTime(name, (i % 4 == 0 ? -86400 * 365 : 0) + i);  // 1969 and 1970
        }
        TreeState both = FilesOnly(Snapshot(src));  // what the source holds after a complete run
        both.merge(FilesOnly(Snapshot(dst)));
        MakeFolder(home / "killed");
        const pid_t pid = reliability::StartProgram(
            home / "killed", {"/srcdir:" + src, "/destdir:" + dst, sync ? "/!s" : "/!b", "/!q"});
        ASSERT_GT(pid, 0);
        AwaitRunStart(home / "killed/state/tandrel/TandrelAutoRun.log");
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 60));
        kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        killed += WIFSIGNALED(status);
        MakeFolder(home / "next");
        const RunResult next =
            RunProgram(home / "next", FolderArguments(src, dst) + (sync ? " /!s /!q" : " /!b /!q"));
        EXPECT_EQ(Outcome(next.log), "OK!") << next.log;
        EXPECT_EQ(Differences(both, FilesOnly(Snapshot(src))).substr(0, 1000), "") << round << ": times kept";
        EXPECT_EQ(Differences(both, FilesOnly(Snapshot(dst))).substr(0, 1000), "") << round;
    }
    EXPECT_GT(killed, 0) << "no kill met a run";
}

// A file whose path is longer than PATH_MAX cannot be named to the kernel in one piece, but a run reaches
// every file through its folder held open: it is copied like any other, and the source is untouched.
TEST(ProgramFaultTest, PathLongerThanPathMaxIsCopiedThroughFolderHandles) {
    CTempDir home;
    const std::string src = home / "src/Data";
    const std::string dst = home / "dst/Data";
    MakeFolder(dst);
    WriteFile(src + "/short.txt", "short");
    // Built by handle: the path itself is too long for mkdir.
    int fd = open(src.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    const std::string piece(200, 'p');
    std::string longPath = src;
    for (int i = 0; i < 25; ++i) {
        ASSERT_EQ(mkdirat(fd, piece.c_str(), 0755), 0);
        int child = openat(fd, piece.c_str(), O_RDONLY | O_DIRECTORY);
        close(fd);
        fd = child;
        ASSERT_GE(fd, 0);
        longPath += "/" + piece;
    }
    int file = openat(fd, "deep.txt", O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(file, 0);
    ASSERT_EQ(write(file, "deep", 4), 4);
    close(file);
    close(fd);
    ASSERT_GT(longPath.size(), 4096u);
    const TreeState sourceState = Snapshot(src);

    RunResult r = RunProgram(home.Path(), FolderArguments(src, dst) + " /!b /!q");

    EXPECT_EQ(r.exitCode, 0) << r.errorText;
    EXPECT_EQ(Outcome(r.log), "OK!") << r.log.substr(0, 2000);
    EXPECT_EQ(Differences(sourceState, Snapshot(src)), "");
    EXPECT_EQ(Differences(FilesOnly(sourceState), FilesOnly(Snapshot(dst))), "");
    EXPECT_TRUE(TempLeftovers(home.Path()).empty());
    reliability::RemoveDeepTree(home / "src");
    reliability::RemoveDeepTree(home / "dst");
}

// A source folder inside its own destination would put the source's files into the destination's scan
// as files of the destination alone: every synchronize would copy them back into the source one level
// deeper, growing the trees at each run. Such a pair of folders is refused like the opposite one.
TEST(ProgramFaultTest, SourceInsideItsDestinationIsRefusedAndNothingGrows) {
    CTempDir home;
    const std::string dst = home / "Data";
    const std::string src = dst + "/sub/Data";
    MakeFolder(home / "config");
    WriteFile(src + "/a.txt", "a");
    WriteFile(dst + "/b.txt", "b");
    const TreeState before = Snapshot(dst);

    for (int run = 1; run <= 2; ++run) {
        RunResult r = RunProgram(home.Path(), FolderArguments(src, dst) + " /!s /!q");
        EXPECT_EQ(r.exitCode, 1) << "run " << run << ": " << r.errorText;
        EXPECT_EQ(Outcome(r.log), "General Error!") << "run " << run << "\n" << r.log;
    }
    EXPECT_EQ(Differences(before, Snapshot(dst)), "");
}
