// SPDX-License-Identifier: GPL-3.0-or-later
// Measures how long the job list takes to open on a large worklist (offscreen). Not a test: run
// build/tests/ui/joblist_bench [items] and read the figures.
#include "engine/DirScanner.h"
#include "engine/WorkList.h"
#include "engine/WorkListBuilder.h"
#include "ui/JobListDlg.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (!getenv("QT_QPA_PLATFORM")) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication app(argc, argv);
    const long items = argc > 1 ? std::atol(argv[1]) : 1000000;

    QTemporaryDir temp;
    const std::string root = temp.path().toStdString();
    QDir(temp.path()).mkpath("src");
    QDir(temp.path()).mkpath("dst");
    CDirScanner source(root + "/src", "", nullptr);
    CDirScanner dest(root + "/dst", "", nullptr);
    CWorkListBuilder builder(source, dest, nullptr);
    builder.m_items.resize(static_cast<size_t>(items));
    for (long i = 0; i < items; ++i) {
        WorkItem& item = builder.m_items[static_cast<size_t>(i)];
        item.m_nKind = 1 + static_cast<int>(i % 3);
        item.m_nFlags = (i % 2) ? WorkBackup : WorkSynchronize;
        item.m_source.m_strName = "folder" + std::to_string(i % 97) + "/file" + std::to_string(i) + ".txt";
        item.m_dest.m_strName = item.m_source.m_strName;
    }

    QElapsedTimer timer;
    timer.start();
    CJobListDlg dlg(&builder, RunBackup);
    const qint64 built = timer.elapsed();
    dlg.show();
    if (!QTest::qWaitForWindowExposed(&dlg)) {
        std::fprintf(stderr, "window not exposed\n");
        return 1;
    }
    QCoreApplication::processEvents();
    const qint64 shown = timer.elapsed();
    dlg.m_list->scrollToBottom();
    QCoreApplication::processEvents();
    const qint64 scrolled = timer.elapsed();
    std::printf("%ld items: constructed %lld ms, shown %lld ms, scrolled to the end %lld ms (rows %d)\n",
                items, static_cast<long long>(built), static_cast<long long>(shown),
                static_cast<long long>(scrolled), dlg.m_list->model()->rowCount());
    return 0;
}
