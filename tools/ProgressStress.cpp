// SPDX-License-Identifier: GPL-3.0-or-later
// Stress of an interactive run: a backup of many files behind the progress window, against the same run
// unattended. Reports the time the progress traffic adds, the longest pause of the user-interface thread
// (a timer that should tick every 10 ms), and whether the window showed the whole range.
// Usage: tandrel_progress_stress [files] (default 100000); run offscreen.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>

#include "engine/WorkList.h"
#include "ui/MessageBox.h"
#include "res/Resources.h"
#include "ui/DialogLayout.h"
#include "ui/MainDlg.h"
#include "ui/ProgressDlg.h"

namespace fs = std::filesystem;

namespace {

void MakeTree(const fs::path& root, int files) {
    const int perFolder = 50;
    for (int i = 0; i < files; ++i) {
        fs::path folder = root / (std::string("d").append(std::to_string(i / perFolder)));
        if (i % perFolder == 0) {
            fs::create_directories(folder);
        }
        std::ofstream(folder / std::string("f").append(std::to_string(i)).append(".txt")) << i;
    }
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    int files = argc > 1 ? std::atoi(argv[1]) : 100000;
    fs::path root = fs::temp_directory_path() / "tandrel-progress-stress";
    fs::remove_all(root);
    fs::path src = root / "src/Data";
    MakeTree(src, files);
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    QApplication app(argc, argv);
    SetMessageBoxHook([](const std::string& text, unsigned) {
        std::fprintf(stderr, "message: %s\n", text.c_str());
        return kIdOk;
    });

    // Unattended: no window, no progress traffic.
    fs::path dstA = root / "a/Data";
    fs::create_directories(dstA);
    auto start = std::chrono::steady_clock::now();
    {
        CMainDlg unattended({"tandrel", "/srcdir:" + src.string(), "/destdir:" + dstA.string(), "/!b"});
        unattended.OnInitDialog();
    }
    double unattendedSeconds = Seconds(start);

    // Interactive: the same backup behind the progress window, on the worker thread.
    fs::path dstB = root / "b/Data";
    fs::create_directories(dstB);
    CMainDlg dialog({"tandrel", "/srcdir:" + src.string(), "/destdir:" + dstB.string()});
    dialog.OnInitDialog();
    dialog.show();
    CMainDlg::TestSetJobListAnswer([](CJobListDlg&) { return kIdOk; });

    qint64 longestPause = 0;
    int highestMaximum = -1;
    int highestValue = -1;
    QElapsedTimer tick;
    QTimer sampler;
    sampler.setInterval(10);
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        longestPause = std::max(longestPause, tick.restart());
        if (CProgressDlg* progress = dialog.m_pProgressDlg) {
            auto* bar = DlgItem<QProgressBar>(progress, res::IDC_PROGRESS_BAR);
            if (progress->windowTitle() == QStringLiteral("Backup files...")) {
                highestMaximum = std::max(highestMaximum, bar->maximum());
                highestValue = std::max(highestValue, bar->value());
            }
        }
    });
    start = std::chrono::steady_clock::now();
    tick.start();
    sampler.start();
    dialog.OnBackup();
    while (dialog.TestRunActive()) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    double interactiveSeconds = Seconds(start);
    sampler.stop();
    CMainDlg::TestSetJobListAnswer({});

    size_t copied = 0;
    for (auto it = fs::recursive_directory_iterator(dstB); it != fs::recursive_directory_iterator(); ++it) {
        copied += it->is_regular_file() ? 1 : 0;
    }
    std::printf("files: %d\n", files);
    std::printf("unattended run: %.2f s\n", unattendedSeconds);
    std::printf("interactive run with progress window: %.2f s (%+.1f %%)\n", interactiveSeconds,
                100.0 * (interactiveSeconds - unattendedSeconds) / unattendedSeconds);
    std::printf("longest pause of the user-interface thread: %lld ms\n",
                static_cast<long long>(longestPause));
    std::printf("bar during execution: maximum %d, highest value seen %d (expected %d)\n", highestMaximum,
                highestValue, files - 1);
    std::printf("files copied: %zu\n", copied);
    fs::remove_all(root);
    bool ok = copied == size_t(files) && highestMaximum == files - 1;
    return ok ? 0 : 1;
}
