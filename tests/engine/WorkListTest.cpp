// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/DirScanner.h"
#include "engine/Executor.h"
#include "engine/WorkList.h"
#include "engine/WorkListBuilder.h"
#include "platform/FileSystem.h"
#include "tests/TestSupport.h"
#include "tests/engine/EngineFakes.h"

#include <algorithm>
#include <cerrno>

#include <gtest/gtest.h>

namespace {

using engine_test::CFakeProgress;
using engine_test::ThrownText;
using testing_support::CTempDir;
using testing_support::SetModTime;
using testing_support::WriteFile;

WorkItem MakeItem(int kind, uint64_t sourceTime, uint64_t destTime, int sourceReadOnly = 0,
                  int destReadOnly = 0, const char* name = "f.txt") {
    WorkItem item;
    item.m_nKind = kind;
    item.m_source.m_strName = item.m_dest.m_strName = name;
    if (kind != KindNoSource) {
        item.m_source.m_ftWrite = sourceTime;
        item.m_source.m_nReadOnly = sourceReadOnly;
        item.m_source.m_nArchive = 0x20;
    }
    if (kind != KindNoDest) {
        item.m_dest.m_ftWrite = destTime;
        item.m_dest.m_nReadOnly = destReadOnly;
        item.m_dest.m_nArchive = 0x20;
    }
    return item;
}

TEST(WorkList, CompareTimesIsExactOver64Bits) {
    const uint64_t high = 1ULL << 32;
    struct Row {
        const char* name;
        uint64_t source;
        uint64_t dest;
        int expected;
    };
    const Row rows[] = {
        {"equal", 133000000000000000ULL, 133000000000000000ULL, 0},
        {"destination one unit later", 133000000000000000ULL, 133000000000000001ULL, 1},
        {"source one unit later", 133000000000000001ULL, 133000000000000000ULL, 2},
        {"only high halves differ, destination later", high + 5, 2 * high + 5, 1},
        {"only high halves differ, source later", 2 * high + 5, high + 5, 2},
        {"low half larger but high half smaller", high - 1, high, 1},
        {"top bit set counts as large", 1ULL << 63, (1ULL << 63) - 1, 2},
        {"missing side time 0", 1, 0, 2},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(CompareTimes(MakeItem(KindBoth, row.source, row.dest)), row.expected) << row.name;
    }
}

// A medium that keeps coarser times cannot hold a smaller difference: the rules and the executor then see
// equal times, and a copy onto a stick is not copied again on every run.
TEST(WorkList, TimesCloserThanTheCoarserResolutionAreEqual) {
    const uint64_t t = 133000000000000000ULL;
    const uint64_t second = 10000000;
    struct Row {
        uint64_t resolution;
        uint64_t source;
        uint64_t dest;
        int expected;
    };
    // clang-format off
    const Row rows[] = {
        {2 * second, t, t - (2 * second - 1), 0}, {2 * second, t, t - 2 * second, 2},
        {2 * second, t, t + (2 * second - 1), 0}, {2 * second, t, t + 2 * second, 1},
        {second, t, t + second - 1, 0},           {second, t, t + second, 1},
        {1, t, t + 1, 1},                         {1, t + 1, t, 2},
    };
    // clang-format on
    for (const Row& row : rows) {
        EXPECT_EQ(CompareTimes(MakeItem(KindBoth, row.source, row.dest), row.resolution), row.expected)
            << row.resolution << " " << row.dest;
    }

    // The builder compares to the coarser of the two media.
    CTempDir dir;
    WriteFile(dir / "s/f", "new");
    WriteFile(dir / "d/f", "old");
    SetModTime(dir / "s/f", 1600000001, 500000000);
    SetModTime(dir / "d/f", 1600000000);
    for (const bool coarse : {false, true}) {
        CDirScanner source(dir / "s", "", nullptr);
        CDirScanner dest(dir / "d", "", nullptr);
        dest.m_medium.timeResolution = coarse ? 2 * second : 1;
        CWorkListBuilder builder(source, dest, nullptr);
        builder.ApplyRunMode(RunBackup);
        EXPECT_EQ(builder.m_items.at(0).m_nFlags, coarse ? 0x0042 : 0x0044) << coarse;
    }
}

// Every row of the decision table, for each rule, through ApplyRunMode of a real builder.
TEST(WorkList, FlagTableForEveryModeAndRow) {
    CTempDir dir;
    testing_support::MakeFolder(dir / "s");
    testing_support::MakeFolder(dir / "d");
    CDirScanner source(dir / "s", "", nullptr);
    CDirScanner dest(dir / "d", "", nullptr);
    CWorkListBuilder builder(source, dest, nullptr);
    ASSERT_TRUE(builder.m_items.empty());

    const uint64_t t = 133000000000000000ULL;
    struct Row {
        const char* name;
        WorkItem item;
        int backup;  // mode 1
        int sync;    // modes 2-4
    };
    const Row rows[] = {
        {"both, source later", MakeItem(KindBoth, t + 1, t), 0x0044, 0x0044},
        {"both, source later, source read-only", MakeItem(KindBoth, t + 1, t, 1, 0), 0x1044, 0x1044},
        {"both, source later, destination read-only", MakeItem(KindBoth, t + 1, t, 0, 1), 0x0044, 0x0044},
        {"both, destination later", MakeItem(KindBoth, t, t + 1), 0x0001, 0x0048},
        {"both, destination later, destination read-only", MakeItem(KindBoth, t, t + 1, 0, 1), 0x0001,
         0x2048},
        {"both, destination later, source read-only", MakeItem(KindBoth, t, t + 1, 1, 0), 0x0001, 0x0048},
        {"both, equal", MakeItem(KindBoth, t, t), 0x0042, 0x0042},
        {"both, equal, both read-only", MakeItem(KindBoth, t, t, 1, 1), 0x0042, 0x0042},
        {"no destination", MakeItem(KindNoDest, t, 0), 0x0060, 0x0060},
        {"no destination, source read-only", MakeItem(KindNoDest, t, 0, 1, 0), 0x0060, 0x0060},
        {"no source", MakeItem(KindNoSource, 0, t), 0x0001, 0x0048},
        {"no source, destination read-only", MakeItem(KindNoSource, 0, t, 0, 1), 0x0001, 0x0048},
        // A per-folder settings file goes to the destination, never back into the source.
        {"settings file, destination later", MakeItem(KindBoth, t, t + 1, 0, 0, "__TD.RVX"), 0x0001, 0x4000},
        {"settings file, no source", MakeItem(KindNoSource, 0, t, 0, 1, "a/b/__td.rvx"), 0x0001, 0x4000},
        {"settings file, source later", MakeItem(KindBoth, t + 1, t, 0, 0, "a/__TD.RVX"), 0x0044, 0x0044},
        {"a name that ends like it", MakeItem(KindNoSource, 0, t, 0, 0, "a/x__TD.RVX"), 0x0001, 0x0048},
    };
    struct Mode {
        int mode;
        bool backup;
    };
    for (const Mode mode : {Mode{RunBackup, true}, Mode{RunSynchronize, false}, Mode{RunCheckIn, false},
                            Mode{RunCheckOut, false}, Mode{0, false}, Mode{5, false}, Mode{-1, false}}) {
        builder.m_items.clear();
        for (const Row& row : rows) {
            builder.m_items.push_back(row.item);
        }
        builder.ApplyRunMode(mode.mode);
        ASSERT_EQ(builder.m_items.size(), std::size(rows));
        for (size_t i = 0; i < std::size(rows); ++i) {
            const bool known = mode.mode >= 1 && mode.mode <= 4;
            const int expected = !known ? WorkUnknown : mode.backup ? rows[i].backup : rows[i].sync;
            const WorkItem& got = builder.m_items[i];
            EXPECT_EQ(got.m_nFlags, expected) << "mode " << mode.mode << ", " << rows[i].name;
            // Only the flags change.
            EXPECT_EQ(got.m_nKind, rows[i].item.m_nKind) << rows[i].name;
            EXPECT_EQ(got.m_source.m_ftWrite, rows[i].item.m_source.m_ftWrite) << rows[i].name;
            EXPECT_EQ(got.m_dest.m_nReadOnly, rows[i].item.m_dest.m_nReadOnly) << rows[i].name;
        }
    }

    // The rules on their own add to what is there; an item of no known kind stays undecided.
    WorkItem odd = MakeItem(KindBoth, t, t);
    odd.m_nKind = 0;
    odd.m_nFlags = 0;
    BackupRule(odd);
    EXPECT_TRUE(odd.m_nFlags & WorkUnknown);
    odd.m_nFlags = 0;
    SynchronizeRule(odd);
    EXPECT_TRUE(odd.m_nFlags & WorkUnknown);
}

struct Example {
    CTempDir dir;
    std::string src = dir / "src";
    std::string dst = dir / "dst";
    Example() {
        WriteFile(src + "/a.txt", "source a");
        WriteFile(src + "/sub/b.txt", "b");
        WriteFile(dst + "/a.txt", "dest a");
        WriteFile(dst + "/c.txt", "c");
        SetModTime(src + "/a.txt", 1600000000);
        SetModTime(dst + "/a.txt", 1500000000);
    }
};

TEST(WorkListBuilder, PairsTheExampleTreesInOrder) {
    Example ex;
    CFakeProgress progress;
    CDirScanner source(ex.src, "", nullptr);
    CDirScanner dest(ex.dst, "", nullptr);
    // The builder takes the entries over; keep the scans' order to check against.
    const FileList sourceFiles = source.m_files;
    const FileList destFiles = dest.m_files;
    CWorkListBuilder builder(source, dest, &progress);
    ASSERT_EQ(builder.m_items.size(), 3u);
    EXPECT_TRUE(source.m_files.empty() && dest.m_files.empty()) << "the names live in the items only";

    struct Expected {
        std::string name;
        int kind;
        bool sourceExists;
        bool destExists;
    };
    // Source order first (its own listing order), then the destination-only file.
    std::vector<Expected> expected;
    for (const FileEntry& f : sourceFiles) {
        expected.push_back({f.m_strName.Str(), f.m_strName == "a.txt" ? KindBoth : KindNoDest, true,
                            f.m_strName == "a.txt"});
    }
    expected.push_back({"c.txt", KindNoSource, false, true});
    for (size_t i = 0; i < expected.size(); ++i) {
        const WorkItem& item = builder.m_items[i];
        const std::string& name = expected[i].name;
        EXPECT_EQ(item.m_source.m_strName, name) << i;
        EXPECT_EQ(item.m_dest.m_strName, name) << i << ": both sides carry the same name";
        EXPECT_EQ(item.m_dest.m_strName.View().data(), item.m_source.m_strName.View().data())
            << i << ": and hold it once";
        EXPECT_EQ(item.m_nKind, expected[i].kind) << name;
        EXPECT_EQ(item.m_nFlags, WorkUnknown) << name << ": undecided before ApplyRunMode";
        EXPECT_EQ(item.m_source.m_nReadOnly, expected[i].sourceExists ? 0 : -1) << name;
        EXPECT_EQ(item.m_source.m_nArchive == -1, !expected[i].sourceExists) << name;
        EXPECT_EQ(item.m_dest.m_nReadOnly, expected[i].destExists ? 0 : -1) << name;
        EXPECT_EQ(item.m_dest.m_ftWrite == 0, !expected[i].destExists) << name;
    }
    EXPECT_EQ(CompareTimes(builder.m_items[0]), 2) << "source a.txt is later";

    // Pass 1 shows destination-side paths, pass 2 source-side ones, each bar from 0.
    std::vector<std::string> calls = {"range 0 1", std::string("caption Creating worklist 1/2")};
    int pos = 0;
    for (const FileEntry& f : sourceFiles) {
        calls.push_back("status " + ex.dst + "/" + f.m_strName);
        calls.push_back("pos " + std::to_string(pos++));
    }
    calls.push_back("range 0 1");
    calls.push_back("caption Creating worklist 2/2");
    pos = 0;
    for (const FileEntry& f : destFiles) {
        calls.push_back("status " + ex.src + "/" + f.m_strName);
        calls.push_back("pos " + std::to_string(pos++));
    }
    EXPECT_EQ(progress.calls, calls);

    builder.ApplyRunMode(RunSynchronize);
    EXPECT_EQ(builder.m_items[2].m_nFlags, 0x0048) << "a destination-only file is copied back";
}

TEST(WorkListBuilder, EmptyTreesAndCounterpartsOutsideTheScan) {
    CTempDir dir;
    testing_support::MakeFolder(dir / "s");
    testing_support::MakeFolder(dir / "d");
    {
        CFakeProgress progress;
        CDirScanner source(dir / "s", "", nullptr);
        CDirScanner dest(dir / "d", "", nullptr);
        CWorkListBuilder builder(source, dest, &progress);
        EXPECT_TRUE(builder.m_items.empty());
        EXPECT_EQ(progress.calls, (std::vector<std::string>{"range 0 -1", "caption Creating worklist 1/2",
                                                            "range 0 -1", "caption Creating worklist 2/2"}));
    }
    // A counterpart the other scan does not hold (here: it appeared after that scan) is asked of the
    // file system, as it would be on a file system that pairs names ignoring case.
    WriteFile(dir / "s/late.txt", "s");
    CDirScanner source(dir / "s", "", nullptr);
    CDirScanner dest(dir / "d", "", nullptr);
    WriteFile(dir / "d/late.txt", "d");
    SetModTime(dir / "d/late.txt", 1400000000);
    CWorkListBuilder builder(source, dest, nullptr);
    ASSERT_EQ(builder.m_items.size(), 1u);
    EXPECT_EQ(builder.m_items[0].m_nKind, KindBoth);
    EXPECT_EQ(builder.m_items[0].m_dest.m_strName, "late.txt");
    EXPECT_EQ(builder.m_items[0].m_dest.m_ftWrite, engine_test::FileTime(1400000000));
}

TEST(WorkListBuilder, CounterpartThatIsAFolderStopsTheBuild) {
    struct Row {
        const char* name;
        const char* fileSide;  // "s" or "d": where name.txt is a file; on the other side it is a folder
    };
    for (const Row& row : {Row{"folder in the destination", "s"}, Row{"folder in the source", "d"}}) {
        CTempDir dir;
        const std::string folderSide = std::string(row.fileSide) == "s" ? "d" : "s";
        WriteFile(dir / (std::string(row.fileSide) + "/x.txt"), "file");
        WriteFile(dir / (folderSide + "/x.txt/inner.txt"), "inner");
        CDirScanner source(dir / "s", "", nullptr);
        CDirScanner dest(dir / "d", "", nullptr);
        EXPECT_EQ(ThrownText([&] { CWorkListBuilder builder(source, dest, nullptr); }),
                  dir / (folderSide + "/x.txt") + ": " + platform::CError(EISDIR).Text())
            << row.name;
    }
}

// Where either tree's medium ignores case, names pair ignoring case and each side keeps its own spelling.
// Two names of one tree that differ only in case would be one file on such a medium: both stay undecided,
// and an executor handed them copies nothing at all.
TEST(WorkListBuilder, NamesPairIgnoringCaseWhereAMediumDoes) {
    struct Row {
        const char* name;
        std::vector<std::string> src;
        std::vector<std::string> dst;
        bool sourceIgnores;
        bool destIgnores;
        std::vector<std::string> items;  // "source|destination|kind", in list order
        bool clash;
        CaseRule rule = CaseRule::Any;  // of the tree that ignores case
    };
    // clang-format off
    const Row rows[] = {
        {"stick ignores case", {"Report.txt"}, {"report.txt"}, false, true, {"Report.txt|report.txt|1"}, false},
        {"source ignores case", {"Report.txt"}, {"report.txt"}, true, false, {"Report.txt|report.txt|1"}, false},
        {"both tell case apart", {"Report.txt"}, {"report.txt"}, false, false,
         {"Report.txt|Report.txt|3", "report.txt|report.txt|2"}, false},
        {"two source names, empty stick", {"README", "readme"}, {}, false, true,
         {"README|README|3", "readme|readme|3"}, true},
        {"two source names, one on the stick", {"README", "readme"}, {"Readme"}, false, true,
         {"README|Readme|1", "readme|readme|3"}, true},
        {"two destination names", {"Readme"}, {"README", "readme"}, true, false,
         {"Readme|README|1", "readme|readme|2"}, true},
        // ς σ, and the Kelvin sign against k
        {"exFAT makes final sigma one with sigma", {"\xCF\x82"}, {"\xCF\x83"}, false, true,
         {"\xCF\x82|\xCF\x83|1"}, false, CaseRule::ExFat},
        {"NTFS keeps them apart", {"\xCF\x82"}, {"\xCF\x83"}, false, true,
         {"\xCF\x82|\xCF\x82|3", "\xCF\x83|\xCF\x83|2"}, false, CaseRule::Ntfs},
        {"a rule not known refuses them", {"\xCF\x82"}, {"\xCF\x83"}, false, true,
         {"\xCF\x82|\xCF\x82|3", "\xCF\x83|\xCF\x83|2"}, true},
        {"exFAT keeps the Kelvin sign apart", {"\xE2\x84\xAA"}, {"k"}, false, true,
         {"\xE2\x84\xAA|\xE2\x84\xAA|3", "k|k|2"}, false, CaseRule::ExFat},
    };
    // clang-format on
    for (const Row& row : rows) {
        CTempDir dir;
        testing_support::MakeFolder(dir / "s");
        testing_support::MakeFolder(dir / "d");
        for (const std::string& name : row.src) {
            WriteFile(dir / "s/" + name, "source " + name);
        }
        for (const std::string& name : row.dst) {
            WriteFile(dir / "d/" + name, "dest " + name);
        }
        CDirScanner source(dir / "s", "", nullptr);
        CDirScanner dest(dir / "d", "", nullptr);
        source.m_medium.ignoresCase = row.sourceIgnores;
        dest.m_medium.ignoresCase = row.destIgnores;
        source.m_medium.caseRule = dest.m_medium.caseRule = row.rule;
        // Sorted by name: a folder lists in no fixed order.
        std::sort(source.m_files.begin(), source.m_files.end(),
                  [](const FileEntry& a, const FileEntry& b) { return a.m_strName < b.m_strName; });
        CWorkListBuilder builder(source, dest, nullptr);
        std::vector<std::string> items;
        for (const WorkItem& item : builder.m_items) {
            items.push_back(item.m_source.m_strName.Str() + "|" + item.m_dest.m_strName.Str() + "|" +
                            std::to_string(item.m_nKind));
        }
        EXPECT_EQ(items, row.items) << row.name;
        const std::string clash = builder.CaseClash();
        builder.ApplyRunMode(RunSynchronize);
        for (const WorkItem& item : builder.m_items) {
            EXPECT_EQ((item.m_nFlags & WorkUnknown) != 0, row.clash) << row.name;
        }
        if (!row.clash) {
            EXPECT_EQ(clash, "") << row.name;
            continue;
        }
        // One message naming two of the names, and nothing copied.
        size_t named = 0;
        for (const std::vector<std::string>* side : {&row.src, &row.dst}) {
            for (const std::string& name : *side) {
                named += clash.find("/" + name + " ") != std::string::npos;
            }
        }
        EXPECT_EQ(named, 2u) << row.name << ": " << clash;
        engine_test::CFakeHost host(false);
        std::string sourceDir = source.m_strRoot;
        std::string destDir = dest.m_strRoot;
        ExecuteWorkList(host, sourceDir, destDir, builder, RunSynchronize);
        EXPECT_EQ(host.reports, std::vector<std::string>{clash}) << row.name;
        EXPECT_EQ(testing_support::ListNames(dir / "s"), row.src) << row.name;
        for (const std::string& name : row.dst) {
            EXPECT_EQ(testing_support::ReadFile(dir / "d/" + name), "dest " + name) << row.name;
        }
    }
}

}  // namespace
