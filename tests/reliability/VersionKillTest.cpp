// SPDX-License-Identifier: GPL-3.0-or-later
// SIGKILL while a run replaces files and keeps their versions: every file is afterwards its old copy or
// its new one, and a new one always has its version, byte for byte the old with its time.
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "tests/TestSupport.h"
#include "tests/reliability/ReliabilitySupport.h"

using reliability::TreeState;
using testing_support::SetModTime;
using testing_support::WriteFile;

TEST(VersionKillTest, AKilledRunLeavesEveryFileOldOrNewWithItsVersion) {
    std::mt19937 random(31);
    int killed = 0;
    for (int round = 0; round < 25; ++round) {
        testing_support::CTempDir home;
        const std::string src = home / "src/Data";
        const std::string dst = home / "dst/Data";
        WriteFile(home / "config/tandrel/Tandrel.ini", "[Config]\nKeepReplacedDays=7\n");
        for (int i = 0; i < 100; ++i) {
            const std::string name = "/d" + std::to_string(i % 5) + "/f" + std::to_string(i);
            WriteFile(src + name, std::string(16384, 'n'));
            WriteFile(dst + name, std::string(8192, 'o'));
            SetModTime(src + name, 2000000000);
            SetModTime(dst + name, 1000000000 + i);
        }
        const TreeState newState = reliability::FilesOnly(reliability::Snapshot(src));
        const TreeState oldState = reliability::FilesOnly(reliability::Snapshot(dst));
        const pid_t pid =
            reliability::StartProgram(home.Path(), {"/srcdir:" + src, "/destdir:" + dst, "/!b", "/!q"});
        ASSERT_GT(pid, 0);
        // At a random moment once the first version is kept.
        for (int wait = 0; wait < 4000 && !testing_support::Exists(dst + "/.tandrel-versions"); ++wait) {
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 40000));
        kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        killed += WIFSIGNALED(status);
        // A copy killed between naming its temporary file and renaming it leaves that file, which the
        // next scan removes: not counted.
        TreeState after = reliability::FilesOnly(reliability::Snapshot(dst));
        std::erase_if(after, [](const auto& e) { return e.first.find("/.tandrel-") != std::string::npos; });
        const std::vector<std::string> stamps = testing_support::ListNames(dst + "/.tandrel-versions");
        size_t versions = 0;
        for (const auto& [name, old] : oldState) {
            const auto version =
                stamps.empty() ? after.end() : after.find(".tandrel-versions/" + stamps[0] + "/" + name);
            versions += version != after.end();
            // An old file may have a version already: killed between the version's link and the rename.
            const bool isNew = after.at(name) == newState.at(name);
            ASSERT_TRUE(isNew || after.at(name) == old) << "round " << round << ": " << name << " is partial";
            ASSERT_TRUE(version != after.end() ? version->second == old : !isNew)
                << "round " << round << ": " << name << " replaced without its version, or a wrong one";
        }
        EXPECT_EQ(after.size(), oldState.size() + versions) << "round " << round << ": a stray file";
    }
    EXPECT_GT(killed, 0) << "no kill met a run";
}
