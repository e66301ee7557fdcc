// SPDX-License-Identifier: GPL-3.0-or-later
// What the windows show where xdotool cannot look, on the X server of the GUI runner: the order of the
// folders in the tree, and the job list's columns and tooltips as laid out on the screen.
#include "engine/DirScanner.h"
#include "engine/WorkList.h"
#include "engine/WorkListBuilder.h"
#include "tests/TestSupport.h"
#include "tests/ui/QStringPrinter.h"
#include "ui/DirTreeCtrl.h"
#include "ui/JobListDlg.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QHelpEvent>
#include <QTableView>
#include <QTest>
#include <QToolTip>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using testing_support::CTempDir;
using testing_support::MakeFolder;
using testing_support::WriteFile;

// The path as the tree reaches it from "/" (no links).
std::string Canonical(const std::string& path) {
    return QFile::encodeName(
               QFileInfo(QFile::decodeName(QByteArray::fromStdString(path))).canonicalFilePath())
        .toStdString();
}

// Asks widget for the tooltip at pos, as hovering there does, and returns the text shown ("" for none).
QString TooltipAt(QWidget* widget, const QPoint& pos) {
    QToolTip::hideText();
    QHelpEvent event(QEvent::ToolTip, pos, widget->mapToGlobal(pos));
    QApplication::sendEvent(widget, &event);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

// Drags the header's border at x (viewport coordinates) by dx pixels with the mouse.
void DragBorder(QHeaderView* header, int x, int dx) {
    QWidget* viewport = header->viewport();
    const int y = viewport->height() / 2;
    QTest::mouseMove(viewport, QPoint(x, y));
    QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(x, y));
    QTest::mouseMove(viewport, QPoint(x + dx / 2, y));
    QTest::mouseMove(viewport, QPoint(x + dx, y));
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, QPoint(x + dx, y));
}

}  // namespace

// Folders in name order: letters compared without case first, the bytes breaking ties (upper case first),
// whatever order the file system keeps them in. Named so that the expected order is known by construction.
TEST(TreeOrder, SubfoldersAreListedByNameIgnoringCaseThenByBytes) {
    CTempDir temp;
    MakeFolder(temp / "Mixed");
    const std::string root = Canonical(temp / "Mixed");
    const std::vector<std::string> expected = {"10", "9", "_x",  "A",  "a",   "a_b", "AB", "Ab", "aB", "ab",
                                               "B",  "b", "d10", "D2", "d2x", "Mm",  "mM", "Z",  "z",  "zz"};
    // Created backwards, and a file among them: neither creation order nor files may show.
    for (auto name = expected.rbegin(); name != expected.rend(); ++name) {
        MakeFolder(root + "/" + *name);
    }
    WriteFile(root + "/c.txt", "not a folder");

    CDirTreeCtrl tree(".exe", true, DTO_NOREDRAW);
    tree.resize(400, 600);
    tree.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&tree));
    tree.Initialize(true);
    ASSERT_TRUE(tree.SelectPath(root)) << root;
    QTreeWidgetItem* folder = tree.currentItem();
    ASSERT_NE(folder, nullptr);
    folder->setExpanded(true);
    std::vector<std::string> shown;
    for (int i = 0; i < folder->childCount(); ++i) {
        shown.push_back(folder->child(i)->text(0).toStdString());
    }
    EXPECT_EQ(shown, expected);

    // A name longer than the tree is wide: the tree scrolls sideways and the row's tooltip shows it whole.
    const std::string longName(120, 'z');
    MakeFolder(root + "/" + longName);
    folder->setExpanded(false);
    folder->setExpanded(true);
    QCoreApplication::processEvents();
    EXPECT_GT(tree.horizontalScrollBar()->maximum(), 0);
    const QRect row = tree.visualItemRect(folder->child(folder->childCount() - 1));
    EXPECT_EQ(TooltipAt(tree.viewport(), tree.visualItemRect(folder->child(0)).center()), QString());
    EXPECT_EQ(TooltipAt(tree.viewport(), QPoint(row.left() + 30, row.center().y())),
              QString::fromStdString(longName));
}

// The job list of a check-out between two long roots, one long file name among short ones.
class JobListColumns : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string top = temp / std::string(120, 'r');
        const std::string names[] = {"a.txt", std::string(150, 'f') + ".txt", "b.txt"};
        for (const std::string& name : names) {
            WriteFile(top + "/src/Data/" + name, "x");
        }
        MakeFolder(top + "/dst/Data");
        source = std::make_unique<CDirScanner>(top + "/src/Data", "", nullptr);
        dest = std::make_unique<CDirScanner>(top + "/dst/Data", "", nullptr);
        builder = std::make_unique<CWorkListBuilder>(*source, *dest, nullptr);
        builder->ApplyRunMode(RunCheckOut);
        dialog = std::make_unique<CJobListDlg>(builder.get(), RunCheckOut);
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        list = dialog->m_list;
        header = list->horizontalHeader();
        ASSERT_EQ(header->count(), 3);
    }

    // The right edge of the last column, in the list's viewport.
    int ColumnsEnd() const { return header->sectionViewportPosition(2) + header->sectionSize(2); }

    bool IsCut(const QString& text, int width) const {
        return list->fontMetrics().horizontalAdvance(text) > width;
    }

    CTempDir temp;
    std::unique_ptr<CDirScanner> source;
    std::unique_ptr<CDirScanner> dest;
    std::unique_ptr<CWorkListBuilder> builder;
    std::unique_ptr<CJobListDlg> dialog;
    QTableView* list = nullptr;
    QHeaderView* header = nullptr;
};

TEST_F(JobListColumns, FillTheWidthAndEachCanBeResized) {
    EXPECT_GE(ColumnsEnd(), list->viewport()->width()) << "an empty area is left right of the last column";
    EXPECT_FALSE(IsCut("CheckOUT {synchronize}", list->visualRect(list->model()->index(0, 2)).width() - 8));

    struct Row {
        const char* name;
        int section;  // the column left of the border dragged
        int dx;
    };
    const Row rows[] = {{"first column wider", 0, 40}, {"second column narrower", 1, -40}};
    for (const Row& row : rows) {
        const int before = header->sectionSize(row.section);
        const int border = header->sectionViewportPosition(row.section) + before - 1;
        DragBorder(header, border, row.dx);
        EXPECT_NEAR(header->sectionSize(row.section), before + row.dx, 2) << row.name;
        EXPECT_GE(ColumnsEnd(), list->viewport()->width()) << row.name << ": the last column follows";
    }
}

// 10,000 rows, undecided at rows 2,450 and 7,000: the list opens on the first (the time it takes is
// printed), F3 and Ctrl+F go to the next (around to the first), Home and End to the ends.
TEST(LargeJobList, OpensOnItsUndecidedRow) {
    CTempDir temp;
    MakeFolder(temp / "src/Data");
    MakeFolder(temp / "dst/Data");
    CDirScanner source(temp / "src/Data", "", nullptr);
    CDirScanner dest(temp / "dst/Data", "", nullptr);
    CWorkListBuilder builder(source, dest, nullptr);
    for (int i = 0; i < 10000; ++i) {
        WorkItem item;
        item.m_nKind = KindBoth;
        item.m_nFlags = i == 2450 || i == 7000 ? WorkUnknown : WorkBackup;
        item.m_source.m_strName = item.m_dest.m_strName = "folder/file" + std::to_string(i) + ".txt";
        builder.m_items.push_back(item);
    }
    QElapsedTimer clock;
    clock.start();
    CJobListDlg dialog(&builder, RunBackup);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    const auto onRow = [&] {
        const QRect row = dialog.m_list->visualRect(dialog.m_list->model()->index(2450, 0));
        return dialog.m_list->currentIndex().row() == 2450 && dialog.m_list->viewport()->rect().contains(row);
    };
    EXPECT_TRUE(QTest::qWaitFor(onRow, 5000));
    std::printf("job list of 10,000 rows on its undecided row after %lld ms\n",
                static_cast<long long>(clock.elapsed()));
    EXPECT_TRUE(dialog.m_list->hasFocus());
    EXPECT_EQ(dialog.findChild<QLabel*>("ctl1031")->text(), QString("2 undecided\nF3: next"));
    const std::pair<QKeySequence, int> steps[] = {{Qt::Key_F3, 7000},
                                                  {QKeySequence::Find, 2450},
                                                  {Qt::Key_End, 9999},
                                                  {Qt::Key_Home, 0},
                                                  {Qt::Key_F3, 2450}};
    for (const auto& [keys, row] : steps) {
        QTest::keySequence(dialog.m_list, keys);
        EXPECT_EQ(dialog.m_list->currentIndex().row(), row) << keys.toString().toStdString();
    }
}

TEST_F(JobListColumns, CutTextsShowInFullAsTooltips) {
    QStringList cutHeaders;
    for (int section = 0; section < header->count(); ++section) {
        const QString text = header->model()->headerData(section, Qt::Horizontal).toString();
        if (!IsCut(text, header->sectionSize(section))) {
            continue;
        }
        cutHeaders << text;
        const QPoint pos(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                         header->viewport()->height() / 2);
        EXPECT_EQ(TooltipAt(header->viewport(), pos), text) << "header " << section;
    }
    EXPECT_GE(cutHeaders.size(), 2) << "both roots are longer than the list is wide";

    int cutCells = 0;
    const QAbstractItemModel* model = list->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        for (int column = 0; column < model->columnCount(); ++column) {
            const QModelIndex index = model->index(row, column);
            const QString text = index.data().toString();
            const QRect cell = list->visualRect(index);
            if (cell.isEmpty() || !IsCut(text, cell.width())) {
                continue;
            }
            ++cutCells;
            EXPECT_EQ(TooltipAt(list->viewport(), cell.center()), text)
                << "row " << row << " column " << column;
        }
    }
    EXPECT_GE(cutCells, 1) << "the long file name fits its column";
}
