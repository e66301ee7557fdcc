// SPDX-License-Identifier: GPL-3.0-or-later
// SIGKILL while a run replaces files and keeps their versions: every file is afterwards its old copy or
// its new one, and a new one always has its version beside it, byte for byte the old with its time.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "tests/TestSupport.h"
#include "tests/reliability/ReliabilitySupport.h"

using reliability::FilesOnly;
using reliability::Snapshot;
using reliability::TreeState;
using testing_support::CTempDir;
using testing_support::SetModTime;
using testing_support::WriteFile;

TEST(VersionKillTest, AKilledRunLeavesEveryFileOldOrNewWithItsVersion) {
    std::mt19937 random(31);
    int killedMidRun = 0;
    int oldWithLink = 0;  // killed between the version's link and the new copy's rename
    for (int round = 0; round < 25; ++round) {
        CTempDir home;
        const std::string src = home / "src/Data";
        const std::string dst = home / "dst/Data";
        WriteFile(home / "config/tandrel/Tandrel.ini", "[Config]\nKeepReplacedDays=7\n");
        for (int i = 0; i < 100; ++i) {
            const std::string name = "/d" + std::to_string(i % 5) + "/f" + std::to_string(i);
            WriteFile(src + name, std::string(16384, 'n') + std::to_string(i));
            WriteFile(dst + name, std::string(8192, 'o') + std::to_string(i));
            SetModTime(src + name, 2000000000);
            SetModTime(dst + name, 1000000000 + i);
        }
        const TreeState newState = FilesOnly(Snapshot(src));
        const TreeState oldState = FilesOnly(Snapshot(dst));
        const pid_t pid = reliability::StartProgram(home.Path(), {"/srcdir:" + src, "/destdir:" + dst, "/!b", "/!q"});
        ASSERT_GT(pid, 0);
        // Once the first version is kept, at a random moment of the replacements.
        struct stat st;
        for (int wait = 0; wait < 4000 && stat((dst + "/.tandrel-versions").c_str(), &st) != 0; ++wait) {
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 40000));
        kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        killedMidRun += WIFSIGNALED(status);

        TreeState after = FilesOnly(Snapshot(dst));
        // A copy killed between naming its hidden temporary file and renaming it leaves that file; the
        // next scan removes it (its writer is gone).
        std::erase_if(after, [](const auto& entry) {
            const size_t slash = entry.first.rfind('/');
            return entry.first.compare(slash + 1, 9, ".tandrel-") == 0;
        });
        std::string stamp;
        for (const auto& [name, state] : after) {
            if (name.rfind(".tandrel-versions/", 0) == 0) {
                stamp = name.substr(0, name.find('/', 18) + 1);
            }
        }
        size_t versions = 0;
        for (const auto& [name, old] : oldState) {
            ASSERT_TRUE(after.count(name)) << "round " << round << ": " << name << " is missing";
            const auto version = after.find(stamp + name);
            versions += version != after.end();
            if (after.at(name) == newState.at(name)) {
                ASSERT_TRUE(version != after.end() && version->second == old)
                    << "round " << round << ": " << name << " replaced without its version";
            } else {
                ASSERT_EQ(after.at(name), old) << "round " << round << ": " << name << " is partial";
                // Its version made, the new copy not yet named: a second name of the unchanged file.
                oldWithLink += version != after.end();
                ASSERT_TRUE(version == after.end() || version->second == old) << name;
            }
        }
        EXPECT_EQ(after.size(), oldState.size() + versions) << "round " << round << ": a stray file";
    }
    EXPECT_GT(killedMidRun, 0) << "no kill met a run";
    std::printf("killed mid-run %d of 25; old file with its version: %d\n", killedMidRun, oldWithLink);
}
