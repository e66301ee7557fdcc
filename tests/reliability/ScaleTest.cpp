// SPDX-License-Identifier: GPL-3.0-or-later
// A million files: the scan of both trees and the worklist finish, and the peak memory of the process
// that does it stays within a fixed budget per file. Runs the helper program in its own process.

#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "tests/TestSupport.h"
#include "tests/reliability/ReliabilitySupport.h"

using testing_support::CTempDir;
using testing_support::MakeFolder;
using testing_support::RunCommand;
using testing_support::ShellQuote;

namespace {

// Memory the engine may use per file per tree: names, entries and the worklist items together.
constexpr unsigned long long kBytesPerFile = 300;

std::string Helper() {
    return SCALE_HELPER;
}

}  // namespace

TEST(ScaleTest, AMillionFilesPerTreeScanAndPairWithinTheMemoryBudget) {
    // 1000 x 1000 by default; TANDREL_SCALE_FOLDERS makes it smaller for a quick look.
    int folders = 1000;
    if (const char* text = std::getenv("TANDREL_SCALE_FOLDERS"); text && *text) {
        folders = std::atoi(text);
    }
    const int filesPerFolder = 1000;
    CTempDir dir;
    // A tmpfs makes two million files in seconds instead of minutes; without one the disk is used.
    std::unique_ptr<reliability::CTmpfsMount> fast;
    if (testing_support::IsRoot()) {
        fast = std::make_unique<reliability::CTmpfsMount>(dir.Path(), "size=2g,nr_inodes=2500k");
    }
    const std::string src = dir / "src/Data";
    const std::string dst = dir / "dst/Data";
    MakeFolder(src);
    MakeFolder(dst);
    for (const std::string& root : {src, dst}) {
        ASSERT_EQ(RunCommand(ShellQuote(Helper()) + " make " + ShellQuote(root) + " " +
                             std::to_string(folders) + " " + std::to_string(filesPerFolder)),
                  0);
    }

    std::string out;
    ASSERT_EQ(RunCommand("timeout -s KILL 300 " + ShellQuote(Helper()) + " scan " + ShellQuote(src) + " " +
                             ShellQuote(dst),
                         &out, true),
              0)
        << out;
    std::istringstream in(out);
    std::string word;
    unsigned long long sourceFiles = 0, destFiles = 0, items = 0, peak = 0, base = 0;
    in >> word >> sourceFiles >> destFiles >> word >> items >> word >> peak >> word >> base;
    const unsigned long long total = static_cast<unsigned long long>(folders) * filesPerFolder;
    EXPECT_EQ(sourceFiles, total) << out;
    EXPECT_EQ(destFiles, total) << out;
    EXPECT_EQ(items, total) << "every file is paired: " << out;
    ASSERT_GT(peak, base) << out;
    const unsigned long long perFile = (peak - base) / (sourceFiles + destFiles);
    RecordProperty("bytes_per_file_per_tree", std::to_string(perFile));
    std::printf("peak memory: %llu bytes per file per tree (%llu MiB for %llu files)\n", perFile,
                (peak - base) >> 20, sourceFiles + destFiles);
    EXPECT_LE(perFile, kBytesPerFile) << out;
    if (!fast || !fast->Mounted()) {
        reliability::RemoveDeepTree(dir / "src");
        reliability::RemoveDeepTree(dir / "dst");
    }
}
