// SPDX-License-Identifier: GPL-3.0-or-later
// The main window as a person uses it: Enter, Quit, Esc and the close box, the tree's selection and
// the Start button, the settings dialog and the saved settings.

#include <cstdlib>
#include <string>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "res/Resources.h"
#include "res/Strings.h"
#include "tests/TestSupport.h"
#include "tests/run/MainDlgTestSupport.h"
#include "ui/DialogLayout.h"
#include "ui/DirTreeCtrl.h"
#include "ui/SettingsDlg.h"

using main_dlg_test::CBoxRecorder;
using main_dlg_test::CTreePair;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

std::string SettingsFile() {
    return std::string(getenv("XDG_CONFIG_HOME")) + "/tandrel/Tandrel.ini";
}

std::string Field(const CMainDlg& dialog, int id) {
    return DlgItem<QLineEdit>(&dialog, id)->text().toStdString();
}

QAction* MenuEntry(CMainDlg& dialog, int command) {
    QMenu* menu = dialog.TestStartButton()->SubMenu();
    if (!menu) {
        return nullptr;
    }
    for (QAction* action : menu->actions()) {
        if (action->data().toInt() == command) {
            return action;
        }
    }
    return nullptr;
}

// Every case starts from no saved settings: each dialog saves its record when it is destroyed.
class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override { std::remove(SettingsFile().c_str()); }
};

}  // namespace

TEST_F(MainWindowTest, EnterDoesNothingAndEveryWayOutSavesAPickedDestination) {
    enum class Way { QuitButton, Escape, CloseBox };
    for (Way way : {Way::QuitButton, Way::Escape, Way::CloseBox}) {
        CTreePair trees;
        CBoxRecorder boxes;
        std::remove(SettingsFile().c_str());
        {
            CMainDlg dialog({"tandrel", "/srcdir:" + trees.source});
            ASSERT_TRUE(dialog.OnInitDialog());
            dialog.show();
            ASSERT_TRUE(dialog.TestTree()->SelectPath(trees.destination + "/"));
            EXPECT_EQ(dialog.m_strDestinationDir, trees.destination + "/");
            EXPECT_EQ(Field(dialog, res::IDC_DESTINATION), trees.destination + "/");

            QTest::keyClick(&dialog, Qt::Key_Return);
            EXPECT_TRUE(dialog.isVisible()) << "Enter never ends the program";

            switch (way) {
                case Way::QuitButton:
                    QTest::mouseClick(DlgItem<QPushButton>(&dialog, res::IDCANCEL), Qt::LeftButton);
                    break;
                case Way::Escape:
                    QTest::keyClick(&dialog, Qt::Key_Escape);
                    break;
                case Way::CloseBox:
                    dialog.close();
                    break;
            }
            EXPECT_FALSE(dialog.isVisible()) << int(way);
            EXPECT_EQ(dialog.result(), QDialog::Rejected);
        }
        std::string ini = ReadFile(SettingsFile());
        EXPECT_NE(ini.find("m_strDestinationDir=" + trees.destination + "/\n"), std::string::npos)
            << int(way) << "\n"
            << ini;
        EXPECT_NE(ini.find("m_strSourceDir=" + trees.source + "/\n"), std::string::npos) << ini;
    }
}

TEST_F(MainWindowTest, StartFollowsTheRunPreconditionOnTreeSelection) {
    CTreePair trees;
    testing_support::MakeFolder(trees.dir / "dst/Other");
    testing_support::MakeFolder(trees.source + "/Data");
    CBoxRecorder boxes;
    CMainDlg dialog({"tandrel", "/srcdir:" + trees.source});
    ASSERT_TRUE(dialog.OnInitDialog());
    QPushButton* start = dialog.TestStartButton();
    struct Row {
        std::string name;
        std::string path;
        bool enabled;
    } rows[] = {
        {"same last name, outside the source", trees.destination + "/", true},
        {"another last name", trees.dir / "dst/Other/", false},
        {"the source itself", trees.source + "/", false},
        {"a folder of the same name inside the source", trees.source + "/Data/", false},
    };
    for (const Row& row : rows) {
        ASSERT_TRUE(dialog.TestTree()->SelectPath(row.path)) << row.name;
        EXPECT_EQ(start->isEnabled(), row.enabled) << row.name;
    }
}

TEST_F(MainWindowTest, SettingsDialogOkTakesTheValuesAndRegreysTheMenu) {
    CTreePair trees;
    CBoxRecorder boxes;
    CMainDlg dialog({"tandrel", "/srcdir:" + trees.source});
    ASSERT_TRUE(dialog.OnInitDialog());
    ASSERT_EQ(dialog.m_bEnableCheckInOut, 0);
    ASSERT_TRUE(MenuEntry(dialog, res::ID_CHECKIN));
    EXPECT_FALSE(MenuEntry(dialog, res::ID_CHECKIN)->isEnabled());
    EXPECT_FALSE(MenuEntry(dialog, res::ID_CHECKOUT)->isEnabled());
    EXPECT_TRUE(MenuEntry(dialog, res::ID_BACKUP)->isEnabled());

    for (bool ok : {false, true}) {
        QTimer::singleShot(0, [ok] {
            auto* settings = qobject_cast<CSettingsDlg*>(QApplication::activeModalWidget());
            ASSERT_TRUE(settings);
            DlgItem<QCheckBox>(settings, res::IDC_ENABLE_CHECKINOUT)->setChecked(true);
            QTest::keyClicks(DlgItem<QLineEdit>(settings, res::IDC_IGNORE), " log");
            QTest::mouseClick(DlgItem<QPushButton>(settings, ok ? res::IDOK : res::IDCANCEL), Qt::LeftButton);
        });
        QTest::mouseClick(DlgItem<QPushButton>(&dialog, res::IDC_CONFIGURE), Qt::LeftButton);
        EXPECT_EQ(dialog.m_bEnableCheckInOut, ok ? 1 : 0);
        EXPECT_EQ(dialog.m_strIgnore, ok ? "bak tmp log" : "bak tmp");
        EXPECT_EQ(dialog.m_strEffectiveIgnore, ok ? "bak tmp log" : "bak tmp");
        EXPECT_EQ(MenuEntry(dialog, res::ID_CHECKIN)->isEnabled(), ok);
        EXPECT_EQ(MenuEntry(dialog, res::ID_CHECKOUT)->isEnabled(), ok);
    }
}

TEST_F(MainWindowTest, FoldersOfThePerFolderFileAndMissingDestinations) {
    struct Row {
        const char* name;
        const char* rvx;  // null: no per-folder file
        bool destinationExists;
        std::string expectedFolderIgnore, expectedEffective;
    } rows[] = {
        {"no per-folder file", nullptr, true, "+", "bak tmp"},
        {"plus and more", "[TD]\nIgnore=+ log\n", true, "+ log", "bak tmp log"},
        {"present but empty", "[TD]\nIgnore=\n", true, "", ""},
        {"own destination that does not exist", "[TD]\nDestDir=/no/such/place/Data/\n", false, "+",
         "bak tmp"},
    };
    for (const Row& row : rows) {
        CTreePair trees;
        CBoxRecorder boxes;
        if (row.rvx) {
            WriteFile(trees.source + "/__TD.RVX", row.rvx);
        }
        CMainDlg dialog({"tandrel", "/srcdir:" + trees.source, "/destdir:" + trees.destination, "/!b"});
        ASSERT_TRUE(dialog.OnInitDialog()) << row.name;
        EXPECT_EQ(dialog.m_strFolderIgnore, row.expectedFolderIgnore) << row.name;
        EXPECT_EQ(dialog.m_strEffectiveIgnore, row.expectedEffective) << row.name;
        EXPECT_EQ(dialog.m_strDestinationDir, row.destinationExists ? trees.destination + "/" : "")
            << row.name;
    }
}

TEST_F(MainWindowTest, CreateRvxWritesThePerFolderFileOnceWithPlus) {
    CTreePair trees;
    WriteFile(SettingsFile(), "[Config]\nCreateRvx=1\n");
    CBoxRecorder boxes;
    {
        CMainDlg dialog({"tandrel", "/srcdir:" + trees.source, "/destdir:" + trees.destination, "/!b"});
        ASSERT_TRUE(dialog.OnInitDialog());
        EXPECT_EQ(dialog.m_bCreateRvx, 1);
    }
    std::string rvx = ReadFile(trees.source + "/__TD.RVX");
    EXPECT_NE(rvx.find("[TD]"), std::string::npos) << rvx;
    EXPECT_NE(rvx.find("DestDir=" + trees.destination + "/"), std::string::npos) << rvx;
    EXPECT_NE(rvx.find("Ignore=+"), std::string::npos) << rvx;

    testing_support::MakeFolder(trees.dir / "other/Data");
    {
        CMainDlg dialog(
            {"tandrel", "/srcdir:" + trees.source, "/destdir:" + (trees.dir / "other/Data"), "/!b"});
        ASSERT_TRUE(dialog.OnInitDialog());
    }
    EXPECT_EQ(ReadFile(trees.source + "/__TD.RVX"), rvx) << "a second run leaves it untouched";
    std::remove(SettingsFile().c_str());
}

// A first start has no source: one folder dropped from a file manager becomes it and is saved; a file or
// two folders are refused. (The tree's menu is tried with real keys in tests/gui.)
TEST_F(MainWindowTest, ADroppedFolderBecomesTheSource) {
    CTreePair trees;
    WriteFile(trees.dir / "file.txt", "x");
    const auto url = [](const std::string& path) {
        return QUrl::fromLocalFile(QString::fromStdString(path));
    };
    CBoxRecorder boxes;
    {
        CMainDlg dialog({"tandrel"});
        ASSERT_TRUE(dialog.OnInitDialog());
        EXPECT_EQ(DlgItem<QLabel>(&dialog, res::IDC_STATUS)->text().toStdString(), res::kHintNoSource);
        EXPECT_EQ(Field(dialog, res::IDC_SOURCE), "");
        const std::pair<QList<QUrl>, std::string> drops[] = {
            {{url(trees.dir / "file.txt")}, "/"},
            {{url(trees.source), url(trees.destination)}, "/"},
            {{url(trees.source)}, trees.source + "/"}};
        for (const auto& [urls, expected] : drops) {
            QMimeData mime;
            mime.setUrls(urls);
            // Qt hands a drop only to the widget that took the drag's entry.
            QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&dialog, &enter);
            QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&dialog, &drop);
            EXPECT_EQ(dialog.m_strSourceDir, expected);
        }
        EXPECT_EQ(Field(dialog, res::IDC_SOURCE), trees.source + "/");
    }
    EXPECT_NE(ReadFile(SettingsFile()).find("m_strSourceDir=" + trees.source + "/\n"), std::string::npos);
}
