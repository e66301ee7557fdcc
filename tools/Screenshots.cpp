// SPDX-License-Identifier: GPL-3.0-or-later
// Renders every window of the program offscreen into PNG files, from real folders and a real run, so
// that anyone can regenerate the pictures of the documentation: scripts/screenshots.sh.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include "engine/WorkList.h"
#include "ui/MessageBox.h"
#include "ui/AboutDlg.h"
#include "ui/DirTreeCtrl.h"
#include "ui/JobListDlg.h"
#include "ui/MainDlg.h"
#include "ui/NewDirDlg.h"
#include "ui/ProgressDlg.h"
#include "ui/SettingsDlg.h"
#include "ui/UsageDlg.h"

namespace fs = std::filesystem;

namespace {

std::string g_outFolder;
int g_failures = 0;

void Save(QWidget* window, const char* name) {
    window->show();
    QApplication::processEvents();
    std::string path = g_outFolder + "/" + name + ".png";
    if (!window->grab().save(QString::fromStdString(path))) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        ++g_failures;
        return;
    }
    std::printf("%s\n", path.c_str());
}

void Write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

// A small project with a few changes on each side, in a throwaway folder.
fs::path MakeSampleTrees() {
    fs::path root = fs::temp_directory_path() / "tandrel-screenshots";
    fs::remove_all(root);
    fs::path src = root / "home/Projects/Thesis";
    fs::path dst = root / "media/backup/Thesis";
    for (const char* name : {"thesis.tex", "chapters/intro.tex", "chapters/method.tex", "figures/plot 1.svg",
                             "notes/todo.txt", "references.bib"}) {
        Write(src / name, std::string("content of ") + name);
    }
    Write(dst / "thesis.tex", "older");
    Write(dst / "references.bib", "content of references.bib");
    fs::last_write_time(dst / "thesis.tex", fs::last_write_time(src / "thesis.tex") - std::chrono::hours(30));
    fs::last_write_time(dst / "references.bib", fs::last_write_time(src / "references.bib"));
    fs::create_directories(root / "media/backup/Archive");
    // Enough measurements that the job list scrolls, and one file only in the backup: the undecided row
    // that the list opens on.
    for (int i = 1; i <= 40; ++i) {
        Write(src / ("data/run " + std::to_string(100 + i) + ".csv"), "1,2,3");
    }
    Write(dst / "data/run 090.csv", "removed from the project");
    return root;
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    g_outFolder = argc > 1 ? argv[1] : "docs/screenshots";
    fs::create_directories(g_outFolder);
    fs::path root = MakeSampleTrees();
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    setenv("TMPDIR", root.c_str(), 1);
    QApplication app(argc, argv);
    SetMessageBoxHook([](const std::string&, unsigned) { return kIdOk; });

    {
        // A first start: no settings, no command line; the status line says what to do.
        CMainDlg first({"tandrel"});
        first.OnInitDialog();
        Save(&first, "first-start");
    }

    std::string src = (root / "home/Projects/Thesis").string();
    std::string dst = (root / "media/backup/Thesis").string();
    CMainDlg main({"tandrel", "/srcdir:" + src, "/destdir:" + dst});
    main.OnInitDialog();
    main.show();
    Save(&main, "main");

    // A real backup run: the job list and the progress window behind it, grabbed when the list is up.
    CMainDlg::TestSetJobListAnswer([&](CJobListDlg& jobList) {
        if (main.m_pProgressDlg) {
            Save(main.m_pProgressDlg, "progress");
        }
        Save(&jobList, "joblist");
        return kIdCancel;
    });
    main.OnBackup();
    while (main.TestRunActive()) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    CMainDlg::TestSetJobListAnswer({});

    CSettingsDlg settings(&main);
    settings.m_strIgnore = "bak tmp";
    settings.m_strFolderIgnore = "+ log";
    settings.m_strEffectiveIgnore = "bak tmp log";
    Save(&settings, "settings");

    CNewDirDlg newDir(dst + "/", &main);
    Save(&newDir, "newfolder");

    CUsageDlg usage(&main);
    Save(&usage, "usage");

    CAboutDlg about(&main);
    Save(&about, "about");

    fs::remove_all(root);
    return g_failures == 0 ? 0 : 1;
}
