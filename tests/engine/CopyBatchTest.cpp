// SPDX-License-Identifier: GPL-3.0-or-later
// Copies written ahead in batches: a run that stops inside a batch leaves exactly what a run that did
// one item at a time would have left.
#include "engine/DirScanner.h"
#include "engine/Executor.h"
#include "engine/WorkList.h"
#include "engine/WorkListBuilder.h"
#include "platform/FaultSeam.h"
#include "platform/FileSystem.h"
#include "tests/TestSupport.h"
#include "tests/engine/EngineFakes.h"

#include <cerrno>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

#include <gtest/gtest.h>

namespace {

using engine_test::CFakeHost;
using testing_support::CTempDir;
using testing_support::Exists;
using testing_support::ListNames;
using testing_support::ReadFile;
using testing_support::WriteFile;

constexpr int kFiles = 150;  // more than two batches

std::string Name(int i) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "r%03d.txt", i);
    return buf;
}

// 150 newer source files over older copies, with one file for a folder that does not exist yet in the
// middle of the list (it has to wait for every copy before it), in the order of the rows.
struct BatchRun : engine_test::Trees {
    BatchRun() {
        for (int i = 0; i < kFiles; ++i) {
            WriteFile(src + "/" + Name(i), "new " + std::to_string(i));
            testing_support::SetModTime(src + "/" + Name(i), 1600000000);
            WriteFile(dst + "/" + Name(i), "old " + std::to_string(i));
            testing_support::SetModTime(dst + "/" + Name(i), 1500000000);
        }
        WriteFile(src + "/newdir/x.txt", "x");
        Build(RunBackup);
        // Put the items in a known order: the listing order of the scans is the file system's.
        WorkList& items = builder->m_items;
        std::sort(items.begin(), items.end(), [](const WorkItem& a, const WorkItem& b) {
            const auto key = [](const WorkItem& item) {
                return item.m_source.m_strName == "newdir/x.txt" ? Name(99) + "+"
                                                                 : item.m_source.m_strName.Str();
            };
            return key(a) < key(b);
        });
    }

    std::vector<std::string> Reports(const char* faultName, platform::FaultOp op, int nth, int err) {
        if (faultName) {
            platform::TestInjectFault(op, nth, err);
        }
        CFakeHost host;
        Execute(host, RunBackup);
        platform::TestClearFaults();
        // Where the window stands when the message comes: the last position and status before it.
        for (const std::string& call : host.progress.calls) {
            if (call.rfind("report ", 0) == 0) {
                break;
            }
            if (call.rfind("pos ", 0) == 0) {
                shownPos = call.substr(4);
            } else if (call.rfind("status ", 0) == 0) {
                shownStatus = call.substr(7);
            }
        }
        return host.reports;
    }

    std::string shownPos;
    std::string shownStatus;
};

TEST(CopyBatch, EveryItemIsDoneInOrder) {
    BatchRun run;
    ASSERT_EQ(run.builder->m_items.size(), static_cast<size_t>(kFiles + 1));
    EXPECT_TRUE(run.Reports(nullptr, platform::FaultOp::CopyRename, 0, 0).empty());
    for (int i = 0; i < kFiles; ++i) {
        EXPECT_EQ(ReadFile(run.dst + "/" + Name(i)), "new " + std::to_string(i));
    }
    EXPECT_EQ(ReadFile(run.dst + "/newdir/x.txt"), "x");
    std::vector<std::string> names = ListNames(run.dst);
    EXPECT_EQ(names.size(), static_cast<size_t>(kFiles + 1)) << "no temporary file is left";
}

TEST(CopyBatch, AFailureInsideABatchLeavesWhatOneItemAtATimeWould) {
    struct Row {
        const char* name;
        platform::FaultOp op;
        int nth;
        int failing;  // the item that fails: earlier ones are done, later ones untouched
    };
    // Each item is put in place with one rename; item 100 (newdir/x.txt) creates its folder first.
    const Row rows[] = {
        {"a rename in the first batch", platform::FaultOp::CopyRename, 30, 29},
        {"a rename in the second batch, after the batch boundary", platform::FaultOp::CopyRename, 70, 69},
        {"a rename after the new folder", platform::FaultOp::CopyRename, 120, 118},
    };
    for (const Row& row : rows) {
        BatchRun run;
        const std::vector<std::string> reports = run.Reports(row.name, row.op, row.nth, ENOSPC);
        const std::string failed = Name(row.failing);
        ASSERT_EQ(reports.size(), 1u) << row.name;
        EXPECT_EQ(reports[0], "Copy " + run.src + "/" + failed + " to " + run.dst + "/" + failed + ": " +
                                  platform::CError(ENOSPC).Text())
            << row.name;
        // The copy failed when it was put in place, a batch after the run showed it: the window shows it
        // again with the message.
        EXPECT_EQ(run.shownPos, std::to_string(row.failing + (row.failing > 99 ? 1 : 0))) << row.name;
        EXPECT_EQ(run.shownStatus, run.src + "/" + failed) << row.name;
        for (int i = 0; i < kFiles; ++i) {
            const bool done = i < row.failing;
            ASSERT_EQ(ReadFile(run.dst + "/" + Name(i)), (done ? "new " : "old ") + std::to_string(i))
                << row.name << ": item " << i;
        }
        EXPECT_EQ(Exists(run.dst + "/newdir"), row.failing > 99)
            << row.name << ": the folder of a later item is never created";
        EXPECT_EQ(ListNames(run.dst).size(), static_cast<size_t>(kFiles + (row.failing > 99 ? 1 : 0)))
            << row.name << ": copies written ahead leave no trace";
    }
}

TEST(CopyBatch, AnItemThatCannotBeWrittenWaitsForTheItemsBeforeIt) {
    BatchRun run;
    // A folder where item 120's copy should go: refused when the copy is written, long before the items
    // queued before it are in place.
    ASSERT_EQ(std::remove((run.dst + "/" + Name(120)).c_str()), 0);
    testing_support::MakeFolder(run.dst + "/" + Name(120));
    const std::vector<std::string> reports = run.Reports(nullptr, platform::FaultOp::CopyRename, 0, 0);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], "Copy " + run.src + "/" + Name(120) + " to " + run.dst + "/" + Name(120) + ": " +
                              platform::CError(EISDIR).Text());
    for (int i = 0; i < kFiles; ++i) {
        if (i != 120) {
            EXPECT_EQ(ReadFile(run.dst + "/" + Name(i)), (i < 120 ? "new " : "old ") + std::to_string(i))
                << i;
        }
    }
    EXPECT_EQ(ReadFile(run.dst + "/newdir/x.txt"), "x");
}

int OpenFiles() {
    return static_cast<int>(ListNames("/proc/self/fd").size());
}

// Counts the open files whenever the executor moves to the next item.
class CFileCountingHost final : public IRunHost, public IProgress {
  public:
    int Report(const std::string& text, unsigned, unsigned) override {
        reports.push_back(text);
        return 1;
    }
    void EnableMainWindow(bool) override {}
    IProgress* Progress() override { return this; }
    void SetRange(int, int) override {}
    void SetPos(int) override { peak = std::max(peak, OpenFiles()); }
    void SetStatus(const std::string&) override {}
    void SetCaption(const std::string&) override {}

    std::vector<std::string> reports;
    int peak = 0;
};

// Copies written ahead and old copies waiting to be freed hold open files: a long run stays well below
// the usual limit of 1,024, and a tighter limit slows it down without stopping it.
TEST(CopyBatch, ALongRunStaysWithinFewOpenFiles) {
    engine_test::Trees t;
    constexpr int kMany = 600;
    for (int i = 0; i < kMany; ++i) {
        WriteFile(t.src + "/" + Name(i), "new");
        testing_support::SetModTime(t.src + "/" + Name(i), 1600000000);
        WriteFile(t.dst + "/" + Name(i), "old");
        testing_support::SetModTime(t.dst + "/" + Name(i), 1500000000);
    }
    t.Build(RunBackup);
    const int before = OpenFiles();
    CFileCountingHost host;
    t.Execute(host, RunBackup);
    EXPECT_TRUE(host.reports.empty()) << host.reports.front();
    EXPECT_LE(host.peak - before, 340);
    for (int i = 0; i < kMany; ++i) {
        ASSERT_EQ(ReadFile(t.dst + "/" + Name(i)), "new") << i;
    }

    for (int i = 0; i < kMany; ++i) {
        testing_support::SetModTime(t.src + "/" + Name(i), 1700000000);
    }
    t.Build(RunBackup);
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    struct rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(before + 40);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    CFakeHost limited(false);
    t.Execute(limited, RunBackup);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
    EXPECT_TRUE(limited.reports.empty()) << limited.reports.front();
    for (int i = 0; i < kMany; ++i) {
        ASSERT_EQ(testing_support::ModTimeNs(t.dst + "/" + Name(i)), 1700000000LL * 1000000000) << i;
    }
}

}  // namespace
