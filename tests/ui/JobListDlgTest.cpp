// SPDX-License-Identifier: GPL-3.0-or-later
// The job list: caption, rows, headers and operation texts for every run mode, and when OK can be pressed.
#include "engine/DirScanner.h"
#include "engine/WorkList.h"
#include "engine/WorkListBuilder.h"
#include "res/Resources.h"
#include "tests/TestSupport.h"
#include "tests/ui/QStringPrinter.h"
#include "ui/DialogLayout.h"
#include "res/Strings.h"
#include "ui/JobListDlg.h"
#include "ui/JobListModel.h"

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <map>
#include <memory>

#include <gtest/gtest.h>

using testing_support::CTempDir;
using testing_support::WriteFile;

namespace {

// Two scanned trees and the builder over them; the builder's items may be replaced by a test.
struct ScannedRun {
    CTempDir temp;
    std::unique_ptr<CDirScanner> source;
    std::unique_ptr<CDirScanner> dest;
    std::unique_ptr<CWorkListBuilder> builder;

    void Scan() {
        testing_support::MakeFolder(temp / "src");
        testing_support::MakeFolder(temp / "dst");
        source = std::make_unique<CDirScanner>(temp / "src", "", nullptr);
        dest = std::make_unique<CDirScanner>(temp / "dst", "", nullptr);
        builder = std::make_unique<CWorkListBuilder>(*source, *dest, nullptr);
    }
};

QString Cell(const CJobListDlg& dlg, int row, int column) {
    return dlg.m_list->model()->index(row, column).data().toString();
}

// Row texts keyed by the row's first non-placeholder name.
std::map<QString, QStringList> RowsByName(const CJobListDlg& dlg) {
    std::map<QString, QStringList> rows;
    const QAbstractItemModel* model = dlg.m_list->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        const QStringList texts = {Cell(dlg, row, 0), Cell(dlg, row, 1), Cell(dlg, row, 2)};
        rows[texts[0].startsWith(u'(') ? texts[1] : texts[0]] = texts;
    }
    return rows;
}

WorkItem Item(int kind, int flags, const std::string& name) {
    WorkItem item;
    item.m_nKind = kind;
    item.m_nFlags = flags;
    item.m_source.m_strName = name;
    item.m_dest.m_strName = name;
    return item;
}

}  // namespace

// Real trees: a file newer in the source, one only in the source, one only in the destination, one equal.
TEST(JobListDlg, ShowsScannedTreesForEveryRunMode) {
    ScannedRun run;
    WriteFile(run.temp / "src/newer.txt", "new");
    WriteFile(run.temp / "dst/newer.txt", "old");
    testing_support::SetModTime(run.temp / "src/newer.txt", 2000000000);
    testing_support::SetModTime(run.temp / "dst/newer.txt", 1000000000);
    WriteFile(run.temp / "src/sub/onlysrc.txt", "s");
    WriteFile(run.temp / "dst/onlydst.txt", "d");
    WriteFile(run.temp / "src/same.txt", "x");
    WriteFile(run.temp / "dst/same.txt", "x");
    testing_support::SetModTime(run.temp / "src/same.txt", 1500000000);
    testing_support::SetModTime(run.temp / "dst/same.txt", 1500000000);
    run.Scan();

    struct Row {
        const char* name;
        int mode;
        std::map<QString, QStringList> expected;
        bool okEnabled;
    };
    const Row rows[] = {
        {"backup",
         RunBackup,
         {{"newer.txt", {"newer.txt", "newer.txt", "{backup}"}},
          {"sub/onlysrc.txt", {"sub/onlysrc.txt", "(no destination)", "{create}"}},
          {"onlydst.txt", {"(no source)", "onlydst.txt", "don't know!"}},
          {"same.txt", {"same.txt", "same.txt", ""}}},
         false},
        {"synchronize",
         RunSynchronize,
         {{"newer.txt", {"newer.txt", "newer.txt", "{backup}"}},
          {"sub/onlysrc.txt", {"sub/onlysrc.txt", "(no destination)", "{create}"}},
          {"onlydst.txt", {"(no source)", "onlydst.txt", "{synchronize}"}},
          {"same.txt", {"same.txt", "same.txt", ""}}},
         true},
        {"check-in",
         RunCheckIn,
         {{"newer.txt", {"newer.txt", "newer.txt", "CheckIN {backup}"}},
          {"sub/onlysrc.txt", {"sub/onlysrc.txt", "(no destination)", "CheckIN {create}"}},
          {"onlydst.txt", {"(no source)", "onlydst.txt", "CheckIN {synchronize}"}},
          {"same.txt", {"same.txt", "same.txt", "CheckIN "}}},
         true},
        {"check-out",
         RunCheckOut,
         {{"newer.txt", {"newer.txt", "newer.txt", "CheckOUT {backup}"}},
          {"sub/onlysrc.txt", {"sub/onlysrc.txt", "(no destination)", "CheckOUT {create}"}},
          {"onlydst.txt", {"(no source)", "onlydst.txt", "CheckOUT {synchronize}"}},
          {"same.txt", {"same.txt", "same.txt", "CheckOUT "}}},
         true},
    };
    for (const Row& row : rows) {
        run.builder->ApplyRunMode(row.mode);
        CJobListDlg dlg(run.builder.get(), row.mode);
        EXPECT_EQ(dlg.windowTitle(), QString("Job List (4) files")) << row.name;
        EXPECT_EQ(RowsByName(dlg), row.expected) << row.name;
        EXPECT_EQ(dlg.m_btnOK->isEnabled(), row.okEnabled) << row.name;
        const QAbstractItemModel* model = dlg.m_list->model();
        EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), QString::fromStdString(run.temp / "src/"))
            << row.name;
        EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), QString::fromStdString(run.temp / "dst/"))
            << row.name;
        EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString(), QString("Operation")) << row.name;
    }
}

// Item kinds and flag combinations the builder may not produce, in list order, with the exact texts.
TEST(JobListDlg, ColumnTextsFollowKindFlagsAndMode) {
    ScannedRun run;
    run.Scan();
    struct Row {
        const char* name;
        WorkItem item;
        int mode;
        const char* source;
        const char* dest;
        const char* operation;
    };
    const Row rows[] = {
        {"both, all operation bits",
         Item(KindBoth, WorkUnknown | WorkBackup | WorkSynchronize | WorkCreate, "a"), RunSynchronize, "a",
         "a", "don't know!{backup}{synchronize}{create}"},
        {"unknown kind", Item(7, WorkBackup, "b"), RunBackup, "!!BUG!!", "!!BUG!!", "{backup}"},
        {"kind zero", Item(0, 0, "c"), RunBackup, "!!BUG!!", "!!BUG!!", ""},
        {"other bits add nothing",
         Item(KindNoDest, WorkSame | WorkClearArchive | WorkSourceReadOnly, "d"),
         RunBackup, "d", "(no destination)", ""},
        {"check-out prefix before the decision", Item(KindNoSource, WorkUnknown, "e"), RunCheckOut,
         "(no source)", "e", "CheckOUT don't know!"},
        {"unknown mode adds no prefix", Item(KindBoth, WorkCreate, "f"), 9, "f", "f", "{create}"},
        {"UTF-8 name", Item(KindBoth, WorkBackup, "Ordner/Grüße.txt"), RunBackup, "Ordner/Grüße.txt",
         "Ordner/Grüße.txt", "{backup}"},
        {"markup is not interpreted", Item(KindNoDest, WorkCreate, "<b>x</b>"), RunBackup, "<b>x</b>",
         "(no destination)", "{create}"},
    };
    for (const Row& row : rows) {
        run.builder->m_items = {row.item};
        CJobListDlg dlg(run.builder.get(), row.mode);
        ASSERT_EQ(dlg.m_list->model()->rowCount(), 1) << row.name;
        EXPECT_EQ(Cell(dlg, 0, 0), QString::fromUtf8(row.source)) << row.name;
        EXPECT_EQ(Cell(dlg, 0, 1), QString::fromUtf8(row.dest)) << row.name;
        EXPECT_EQ(Cell(dlg, 0, 2), QString::fromUtf8(row.operation)) << row.name;
    }
}

TEST(JobListDlg, KeepsListOrderAndLayout) {
    ScannedRun run;
    run.Scan();
    run.builder->m_items = {Item(KindBoth, 0, "z"), Item(KindBoth, 0, "a"), Item(KindBoth, 0, "m")};
    CJobListDlg dlg(run.builder.get(), RunBackup);
    dlg.show();
    EXPECT_EQ(Cell(dlg, 0, 0), QString("z"));
    EXPECT_EQ(Cell(dlg, 1, 0), QString("a"));
    EXPECT_EQ(Cell(dlg, 2, 0), QString("m"));
    // A click on a header must not sort the rows.
    QHeaderView* header = dlg.m_list->horizontalHeader();
    EXPECT_FALSE(dlg.m_list->isSortingEnabled());
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionPosition(0) + 5, 5));
    EXPECT_EQ(Cell(dlg, 0, 0), QString("z"));
    EXPECT_EQ(header->count(), 3);
    // The columns share the list's whole width, the last one stretching, also when the dialog grows
    // (dragging and tooltips are tried on a real display, tests/gui).
    for (const int grow : {0, 240}) {
        const QRect list = dlg.m_list->geometry();
        const QPoint ok = dlg.m_btnOK->pos();
        const int first = header->sectionSize(0);
        dlg.resize(dlg.size() + QSize(grow, grow / 2));
        QCoreApplication::processEvents();
        EXPECT_EQ(dlg.m_list->width(), list.width() + grow);
        EXPECT_EQ(dlg.m_btnOK->pos(), ok + QPoint(grow, 0));
        EXPECT_EQ(header->length(), dlg.m_list->viewport()->width()) << grow;
        EXPECT_EQ(header->sectionSize(0), header->sectionSize(1)) << grow;
        EXPECT_GE(header->sectionSize(0), first + grow / 3) << "the names take the width the list gains";
    }
    dlg.resize(dlg.minimumSize() - QSize(50, 50));
    EXPECT_EQ(dlg.size(), dlg.minimumSize()) << "never smaller than it starts";
    for (int column = 0; column < 3; ++column) {
        const auto cellAlign =
            dlg.m_list->model()->index(0, column).data(Qt::TextAlignmentRole).value<Qt::Alignment>();
        EXPECT_TRUE(cellAlign & Qt::AlignLeft) << column;
        const auto headAlign = dlg.m_list->model()
                                   ->headerData(column, Qt::Horizontal, Qt::TextAlignmentRole)
                                   .value<Qt::Alignment>();
        EXPECT_TRUE(headAlign & Qt::AlignLeft) << column;
    }
    EXPECT_EQ(dlg.m_list, DlgItem<QTableView>(&dlg, res::IDC_JOBLIST));
    EXPECT_EQ(dlg.m_btnOK, DlgItem<QPushButton>(&dlg, res::IDOK));
}

// OK can confirm only when every item is decided; Cancel and Esc always end without confirming.
TEST(JobListDlg, ConfirmsOnlyADecidedList) {
    ScannedRun run;
    run.Scan();
    std::vector<WorkItem> many;
    for (int i = 0; i < 50; ++i) {
        many.push_back(Item(KindBoth, WorkBackup, "f" + std::to_string(i)));
    }
    std::vector<WorkItem> oneUndecided = many;
    oneUndecided[37].m_nFlags = WorkUnknown;

    struct Row {
        const char* name;
        std::vector<WorkItem> items;
        const char* caption;
        bool okEnabled;
    };
    const Row rows[] = {
        {"empty list", {}, "Job List (0) files", true},
        {"all decided", many, "Job List (50) files", true},
        {"one undecided", oneUndecided, "Job List (50) files", false},
    };
    for (const Row& row : rows) {
        run.builder->m_items = row.items;
        for (const bool pressOk : {true, false}) {
            CJobListDlg dlg(run.builder.get(), RunSynchronize);
            EXPECT_EQ(dlg.windowTitle(), QString(row.caption)) << row.name;
            EXPECT_EQ(dlg.m_btnOK->isEnabled(), row.okEnabled) << row.name;
            EXPECT_EQ(dlg.m_list->model()->rowCount(), static_cast<int>(row.items.size())) << row.name;
            QTimer::singleShot(0, &dlg, [&dlg, pressOk] {
                if (pressOk) {
                    QTest::mouseClick(dlg.m_btnOK, Qt::LeftButton);
                    if (dlg.isVisible()) {
                        QTest::keyClick(&dlg, Qt::Key_Return);
                    }
                }
                // Still open when OK was refused: Esc ends it.
                if (dlg.isVisible()) {
                    QTest::keyClick(&dlg, Qt::Key_Escape);
                }
            });
            const int result = dlg.exec();
            EXPECT_EQ(result, pressOk && row.okEnabled ? QDialog::Accepted : QDialog::Rejected)
                << row.name << (pressOk ? " pressing OK" : " pressing Esc");
        }
    }
}

// An undecided row says why, in the terms of the files, and what settles it.
TEST(JobListDlg, UndecidedRowsSayWhy) {
    ScannedRun run;
    run.Scan();
    constexpr uint64_t kSecond = 10'000'000;
    WorkItem newer = Item(KindBoth, WorkUnknown, "n");
    newer.m_dest.m_ftWrite = 181 * kSecond;
    run.builder->m_items = {Item(KindNoSource, WorkUnknown, "a"), newer, Item(KindNoDest, WorkUnknown, "C"),
                            Item(KindBoth, WorkBackup, "d")};
    run.builder->m_clashes = {2};
    CJobListDlg dlg(run.builder.get(), RunBackup);
    const QString expected[] = {res::kWhyNoSource, QString(res::kWhyDestNewer).arg("3 minutes"),
                                res::kWhyCaseClash, "{backup}"};
    for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(dlg.m_list->model()->index(row, 2).data(Qt::ToolTipRole).toString(), expected[row]) << row;
    }
    for (const auto& [seconds, text] : {std::pair<uint64_t, const char*>{1, "1 second"},
                                        {119, "119 seconds"},
                                        {7199, "119 minutes"},
                                        {7200, "2 hours"},
                                        {86400 * 3 + 5, "3 days"}}) {
        EXPECT_EQ(CJobListModel::SpanText(seconds * kSecond), QString(text));
    }
}

// The size the list was closed with is where the next one opens.
TEST(JobListDlg, RemembersItsSize) {
    ScannedRun run;
    run.Scan();
    CJobListDlg closed(run.builder.get(), RunBackup);
    closed.resize(closed.size() + QSize(40, 30));
    closed.reject();
    EXPECT_EQ(CJobListDlg(run.builder.get(), RunBackup).size(), closed.size());
}
