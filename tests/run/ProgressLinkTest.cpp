// SPDX-License-Identifier: GPL-3.0-or-later
// The progress link between a run's worker thread and its progress window: what arrives, in which
// order, and that an early-closed window makes every later call harmless.
#include "engine/Progress.h"
#include "res/Resources.h"
#include "run/ProgressLink.h"
#include "tests/ui/QStringPrinter.h"
#include "ui/DialogLayout.h"
#include "ui/ProgressDlg.h"

#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QTest>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

QProgressBar* Bar(const QWidget* dlg) {
    return DlgItem<QProgressBar>(dlg, res::IDC_PROGRESS_BAR);
}
QLabel* Status(const QWidget* dlg) {
    return DlgItem<QLabel>(dlg, res::IDC_PROGRESS_TEXT);
}

// Runs work on a worker thread while this thread keeps serving events; returns when the worker ended.
void OnWorker(const std::function<void()>& work) {
    std::thread worker(work);
    worker.join();  // the link never waits for this thread, so joining cannot deadlock
}

struct BarState {
    int low, high, value;
    bool operator==(const BarState&) const = default;
};
std::ostream& operator<<(std::ostream& out, const BarState& s) {
    return out << s.low << ".." << s.high << " @" << s.value;
}
BarState StateOf(const QWidget* dlg) {
    return {Bar(dlg)->minimum(), Bar(dlg)->maximum(), Bar(dlg)->value()};
}

}  // namespace

// 100,000 steps from a worker: the window ends showing the last of everything.
TEST(ProgressLink, DeliversTheLatestValuesFromAWorker) {
    QWidget mainWindow;
    QPointer<CProgressDlg> dlg = new CProgressDlg(&mainWindow);
    auto link = std::make_unique<CProgressLink>(dlg);
    constexpr int kItems = 100000;
    OnWorker([&] {
        ProgressStart(link.get(), 0, kItems - 1, "/data/source/");
        int counter = 0;
        for (int i = 0; i < kItems; ++i) {
            ProgressStep(link.get(), "file " + std::to_string(i), counter);
        }
        link->SetCaption("Backup files...");
    });
    EXPECT_TRUE(link->IsOpen());
    EXPECT_TRUE(QTest::qWaitFor([&] { return Bar(dlg)->value() == kItems - 1; }));
    EXPECT_EQ(StateOf(dlg), (BarState{0, kItems - 1, kItems - 1}));
    EXPECT_EQ(Status(dlg)->text(), QString("file 99999"));
    EXPECT_EQ(dlg->windowTitle(), QString("Backup files..."));
    EXPECT_FALSE(mainWindow.isEnabled());

    // Close from the worker: the window goes after showing what was sent before, and the main window
    // is usable again.
    std::vector<QString> captions;
    QObject::connect(dlg, &QWidget::windowTitleChanged,
                     [&](const QString& title) { captions.push_back(title); });
    OnWorker([&] {
        link->SetCaption("last one");
        link->Close();
        link->SetCaption("after close");  // dropped
    });
    EXPECT_FALSE(link->IsOpen());
    EXPECT_TRUE(captions.empty());  // nothing touched the window from the worker
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.isNull(); }));
    EXPECT_EQ(captions, std::vector<QString>{"last one"});
    EXPECT_TRUE(mainWindow.isEnabled());
    link->Close();  // already gone: nothing happens
    link->SetPos(3);
}

// Whatever the batching, the bar ends as if each call had been applied on the spot.
TEST(ProgressLink, KeepsTheOrderOfRangeAndPositionChanges) {
    struct Op {
        bool range;
        int a, b;
    };
    struct Row {
        const char* name;
        std::vector<Op> ops;
    };
    const Row rows[] = {
        {"range then positions", {{true, 0, 10}, {false, 3, 0}, {false, 7, 0}}},
        {"new range after positions", {{true, 0, 10}, {false, 5, 0}, {true, 100, 200}, {false, 150, 0}}},
        {"position outside the next range", {{true, 0, 100}, {false, 15, 0}, {true, 10, 20}}},
        {"position inside the next range", {{true, 0, 100}, {false, 15, 0}, {true, 10, 20}, {false, 3, 0}}},
        {"position before its range", {{false, 150, 0}, {true, 100, 200}}},
        {"range above 65535", {{true, 0, 99999}, {false, 70000, 0}, {false, 99999, 0}}},
    };
    for (const Row& row : rows) {
        QPointer<CProgressDlg> viaLink = new CProgressDlg(nullptr);
        QPointer<CProgressDlg> direct = new CProgressDlg(nullptr);
        viaLink->SetRange(0, 1000);  // a bar with a value, so that resets show
        viaLink->SetPos(15);
        direct->SetRange(0, 1000);
        direct->SetPos(15);
        CProgressLink link(viaLink);
        OnWorker([&] {
            for (const Op& op : row.ops) {
                op.range ? link.SetRange(op.a, op.b) : link.SetPos(op.a);
            }
            link.SetStatus(row.name);  // arrives last, in the same batch or after it
        });
        for (const Op& op : row.ops) {
            op.range ? direct->SetRange(op.a, op.b) : direct->SetPos(op.a);
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return Status(viaLink)->text() == QString(row.name); }))
            << row.name;
        EXPECT_EQ(StateOf(viaLink), StateOf(direct)) << row.name;
        viaLink->DestroyWindow();
        direct->DestroyWindow();
        ASSERT_TRUE(QTest::qWaitFor([&] { return viaLink.isNull() && direct.isNull(); })) << row.name;
    }
}

// On the window's own thread a call applies at once: no queued round trip, never a wait on itself.
TEST(ProgressLink, AppliesAtOnceOnTheWindowsThread) {
    QPointer<CProgressDlg> dlg = new CProgressDlg(nullptr);
    CProgressLink link(dlg);
    link.SetRange(0, 200000);
    link.SetPos(123456);
    link.SetStatus("/src/Grüße.txt");
    link.SetCaption("Synchronize files...");
    EXPECT_EQ(StateOf(dlg), (BarState{0, 200000, 123456}));
    EXPECT_EQ(Status(dlg)->text(), QString("/src/Grüße.txt"));
    EXPECT_EQ(dlg->windowTitle(), QString("Synchronize files..."));
    // Updates queued by a worker are applied before a later direct one.
    OnWorker([&] {
        link.SetStatus("from the worker");
        link.SetPos(5);
    });
    link.SetCaption("direct");
    EXPECT_EQ(Status(dlg)->text(), QString("from the worker"));
    EXPECT_EQ(Bar(dlg)->value(), 5);
    link.Close();
    EXPECT_TRUE(dlg.isNull() || dlg->IsDestroyed());
    EXPECT_FALSE(link.IsOpen());
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.isNull(); }));
}

// The window closed early (Esc) while a worker keeps reporting: calls are dropped, nothing crashes.
TEST(ProgressLink, DropsCallsOnceTheWindowIsGone) {
    struct Row {
        const char* name;
        bool closeWhileRunning;
    };
    const Row rows[] = {{"closed before the worker reports", false},
                        {"closed while the worker reports", true}};
    for (const Row& row : rows) {
        QWidget mainWindow;
        QPointer<CProgressDlg> dlg = new CProgressDlg(&mainWindow);
        auto link = std::make_unique<CProgressLink>(dlg);
        if (!row.closeWhileRunning) {
            QTest::keyClick(dlg, Qt::Key_Escape);
            ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.isNull(); })) << row.name;
            EXPECT_FALSE(link->IsOpen()) << row.name;
        }
        std::atomic<bool> stop = false;
        std::atomic<int> sent = 0;
        std::thread worker([&] {
            int counter = 0;
            ProgressStart(link.get(), 0, 1000000, "/root/");
            while (!stop) {
                ProgressStep(link.get(), "item", counter);
                ++sent;
            }
            link->Close();
        });
        if (row.closeWhileRunning) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return dlg && Bar(dlg)->value() > 0; })) << row.name;
            QTest::keyClick(dlg, Qt::Key_Escape);
            ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.isNull(); })) << row.name;
            ASSERT_TRUE(QTest::qWaitFor([&] { return !link->IsOpen(); })) << row.name;
        }
        const int before = sent;
        EXPECT_TRUE(QTest::qWaitFor([&] { return sent > before + 1000; })) << row.name;
        stop = true;
        worker.join();
        EXPECT_TRUE(mainWindow.isEnabled()) << row.name;
    }
    // A link bound to no window drops everything.
    CProgressLink none(nullptr);
    EXPECT_FALSE(none.IsOpen());
    OnWorker([&] {
        none.SetRange(0, 5);
        none.SetPos(1);
        none.SetCaption("x");
        none.Close();
    });
    QCoreApplication::processEvents();
}

// Queued updates outlive the link that sent them without touching it.
TEST(ProgressLink, QueuedUpdatesOutliveTheLink) {
    QPointer<CProgressDlg> dlg = new CProgressDlg(nullptr);
    auto link = std::make_unique<CProgressLink>(dlg);
    OnWorker([&] {
        link->SetRange(0, 10);
        link->SetPos(9);
        link->SetStatus("queued");
    });
    link.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Status(dlg)->text() == QString("queued"); }));
    EXPECT_EQ(StateOf(dlg), (BarState{0, 10, 9}));
    dlg->DestroyWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.isNull(); }));
}
