// SPDX-License-Identifier: GPL-3.0-or-later
// The self-owning modeless window and the run's progress window: how they open, what they show, and
// that the main window stays disabled exactly as long as the progress window exists.
#include "res/Resources.h"
#include "tests/ui/QStringPrinter.h"
#include "ui/DialogLayout.h"
#include "ui/ModelessDlg.h"
#include "ui/ProgressDlg.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QScreen>
#include <QTest>

#include <climits>

#include <gtest/gtest.h>

namespace {

QProgressBar* Bar(const QWidget* dlg) {
    return DlgItem<QProgressBar>(dlg, res::IDC_PROGRESS_BAR);
}
QLabel* Status(const QWidget* dlg) {
    return DlgItem<QLabel>(dlg, res::IDC_PROGRESS_TEXT);
}

}  // namespace

TEST(ModelessDlg, OpensAtOnceAndFreesItselfOnEnterOrEsc) {
    struct Row {
        const char* name;
        void (*end)(CModelessDlg*);
    };
    const Row rows[] = {
        {"Esc", [](CModelessDlg* dlg) { QTest::keyClick(dlg, Qt::Key_Escape); }},
        {"Enter", [](CModelessDlg* dlg) { QTest::keyClick(dlg, Qt::Key_Return); }},
        {"keypad Enter", [](CModelessDlg* dlg) { QTest::keyClick(dlg, Qt::Key_Enter, Qt::KeypadModifier); }},
        {"closed by the desktop", [](CModelessDlg* dlg) { dlg->close(); }},
        {"accept()", [](CModelessDlg* dlg) { dlg->accept(); }},
        {"done(0)", [](CModelessDlg* dlg) { dlg->done(0); }},
    };
    for (const Row& row : rows) {
        QPointer<CModelessDlg> dlg = new CModelessDlg(res::IDD_PROGRESS);
        EXPECT_TRUE(dlg->isVisible()) << row.name;
        EXPECT_EQ(dlg->parentWidget(), nullptr) << row.name;
        EXPECT_TRUE(dlg->isWindow()) << row.name;
        EXPECT_FALSE(dlg->isModal()) << row.name;
        EXPECT_EQ(dlg->frameGeometry().topLeft(),
                  QGuiApplication::primaryScreen()->availableGeometry().topLeft())
            << row.name;
        EXPECT_TRUE(QTest::qWaitForWindowActive(dlg)) << row.name;
        EXPECT_FALSE(dlg->IsDestroyed()) << row.name;
        row.end(dlg);
        ASSERT_FALSE(dlg.isNull()) << row.name;  // freed later, not inside its own key handler
        EXPECT_TRUE(dlg->IsDestroyed()) << row.name;
        EXPECT_FALSE(dlg->isVisible()) << row.name;
        ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.isNull(); })) << row.name;
    }
    // Another key leaves it open.
    QPointer<CModelessDlg> dlg = new CModelessDlg(res::IDD_PROGRESS);
    QTest::keyClick(dlg, Qt::Key_A);
    QTest::keyClick(dlg, Qt::Key_Return, Qt::ControlModifier);
    QCoreApplication::processEvents();
    ASSERT_FALSE(dlg.isNull());
    EXPECT_TRUE(dlg->isVisible());
    dlg->DestroyWindow();
    dlg->DestroyWindow();  // a second call changes nothing
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.isNull(); }));
}

TEST(ProgressDlg, OpensTopLeftAndShowsTheStartState) {
    QWidget mainWindow;
    mainWindow.show();
    QPointer<CProgressDlg> dlg = new CProgressDlg(&mainWindow);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->parentWidget(), nullptr);
    EXPECT_EQ(dlg->windowTitle(), QString("TD"));
    ASSERT_NE(Status(dlg), nullptr);
    ASSERT_NE(Bar(dlg), nullptr);
    EXPECT_EQ(Status(dlg)->text(), QString("?"));
    EXPECT_LT(Bar(dlg)->value(), Bar(dlg)->minimum());  // empty bar
    EXPECT_FALSE(dlg->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(dlg->windowFlags() & Qt::WindowSystemMenuHint);
    EXPECT_EQ(dlg->frameGeometry().topLeft(),
              QGuiApplication::primaryScreen()->availableGeometry().topLeft());
    EXPECT_FALSE(mainWindow.isEnabled());
    dlg->DestroyWindow();
    // Enabled as soon as the window is gone, before the object is freed.
    EXPECT_TRUE(mainWindow.isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.isNull(); }));
    EXPECT_TRUE(mainWindow.isEnabled());
}

// However the progress window goes, the main window is usable again afterwards, and not before.
TEST(ProgressDlg, KeepsTheMainWindowDisabledWhileItExists) {
    struct Row {
        const char* name;
        void (*end)(CProgressDlg*);
    };
    const Row rows[] = {
        {"Esc", [](CProgressDlg* dlg) { QTest::keyClick(dlg, Qt::Key_Escape); }},
        {"Enter", [](CProgressDlg* dlg) { QTest::keyClick(dlg, Qt::Key_Return); }},
        {"close()", [](CProgressDlg* dlg) { dlg->close(); }},
        {"deleted outright", [](CProgressDlg* dlg) { delete dlg; }},
        {"deleteLater", [](CProgressDlg* dlg) { dlg->deleteLater(); }},
    };
    for (const Row& row : rows) {
        QWidget mainWindow;
        mainWindow.show();
        QPointer<CProgressDlg> dlg = new CProgressDlg(&mainWindow);
        QCoreApplication::processEvents();
        EXPECT_FALSE(mainWindow.isEnabled()) << row.name;
        row.end(dlg);
        ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.isNull(); })) << row.name;
        EXPECT_TRUE(mainWindow.isEnabled()) << row.name;
    }
    // Without a main window, or with one that went first, nothing breaks.
    QPointer<CProgressDlg> alone = new CProgressDlg(nullptr);
    alone->DestroyWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return alone.isNull(); }));
    auto* mainWindow = new QWidget;
    QPointer<CProgressDlg> orphan = new CProgressDlg(mainWindow);
    delete mainWindow;
    QTest::keyClick(orphan, Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return orphan.isNull(); }));
}

TEST(ProgressDlg, BarUsesTheFullIntRange) {
    QPointer<CProgressDlg> dlg = new CProgressDlg(nullptr);
    struct Row {
        int low, high, pos;
    };
    const Row rows[] = {{0, 100, 50},  {0, 100000, 99999},    {1, 65536, 65536},
                        {0, 70000, 0}, {INT_MIN, INT_MAX, 0}, {-5, 5, -5}};
    for (const Row& row : rows) {
        dlg->SetRange(row.low, row.high);
        dlg->SetPos(row.pos);
        EXPECT_EQ(Bar(dlg)->minimum(), row.low) << row.high;
        EXPECT_EQ(Bar(dlg)->maximum(), row.high) << row.high;
        EXPECT_EQ(Bar(dlg)->value(), row.pos) << row.high;
    }
    // A pass with no items only waits: an empty bar, not Qt's busy animation of an empty range.
    for (const int pos : {7, 8}) {
        dlg->SetRange(7, 7);
        dlg->SetPos(pos);
        EXPECT_LT(Bar(dlg)->minimum(), Bar(dlg)->maximum()) << pos;
        EXPECT_EQ(Bar(dlg)->value(), Bar(dlg)->minimum()) << pos;
    }
    dlg->SetStatus("<b>/home/u/a&b.txt</b>");
    dlg->SetCaption("Backup files...");
    EXPECT_EQ(Status(dlg)->text(), QString("<b>/home/u/a&b.txt</b>"));
    EXPECT_EQ(Status(dlg)->textFormat(), Qt::PlainText);
    EXPECT_EQ(dlg->windowTitle(), QString("Backup files..."));
    dlg->DestroyWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.isNull(); }));
}
