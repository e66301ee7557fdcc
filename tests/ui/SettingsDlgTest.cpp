// SPDX-License-Identifier: GPL-3.0-or-later
// The ignore-list rule and the settings dialog: live preview, OK takes the values, Cancel leaves them.
#include "ui/SettingsDlg.h"

#include "res/Resources.h"
#include "support/IgnoreList.h"
#include "ui/DialogLayout.h"

#include "DialogTestSupport.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <tuple>

TEST(IgnoreList, Expand) {
    struct Row {
        const char* name;
        const char* global;
        const char* folder;
        const char* expected;
    };
    const Row rows[] = {
        {"plus alone", "bak tmp", "+", "bak tmp"},
        {"plus with own entries", "bak tmp", "obj + log", "obj bak tmp log"},
        {"every plus", "bak", "+ x +", "bak x bak"},
        {"no plus stands alone", "bak tmp", "obj", "obj"},
        {"empty folder list", "bak", "", ""},
        {"empty global", "", "a+b", "ab"},
        {"inserted plus not rescanned", "c++ +", "+", "c++ +"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ExpandIgnoreList(row.global, row.folder), row.expected) << row.name;
    }
}

namespace {

struct Seed {
    std::string ignore, folder, effective;
    int createRvx, checkInOut;
};

void SeedDialog(CSettingsDlg& dialog, const Seed& seed) {
    dialog.m_strIgnore = seed.ignore;
    dialog.m_strFolderIgnore = seed.folder;
    dialog.m_strEffectiveIgnore = seed.effective;
    dialog.m_bCreateRvx = seed.createRvx;
    dialog.m_bEnableCheckInOut = seed.checkInOut;
}

QString Text(const QDialog& dialog, int id) {
    return DlgItem<QLineEdit>(&dialog, id)->text();
}

}  // namespace

TEST(SettingsDialog, PreviewFollowsEachKeystroke) {
    struct Row {
        const char* name;
        Seed seed;
        const char* typed;
        std::vector<QString> previews;  // 1014 after each typed character
    };
    const Row rows[] = {
        {"folder plus", {"bak tmp", "+", "bak tmp", 0, 0}, " o", {"bak tmp ", "bak tmp o"}},
        {"folder with plus inside", {"bak", "obj +;", "obj bak;", 0, 0}, "x", {"obj bakx;"}},
        {"folder without plus", {"bak tmp", "obj", "obj", 0, 0}, " log", {"obj", "obj", "obj", "obj"}},
    };
    for (const Row& row : rows) {
        CSettingsDlg dialog;
        SeedDialog(dialog, row.seed);
        std::vector<QString> seen;
        QString shownAtOpen;
        testing_support::RunModal(dialog, [&] {
            shownAtOpen = Text(dialog, res::IDC_EFFECTIVE_IGNORE);
            auto* edit = DlgItem<QLineEdit>(&dialog, res::IDC_IGNORE);
            edit->setFocus();
            edit->end(false);
            for (char c : std::string(row.typed)) {
                QTest::keyClicks(edit, QString(QLatin1Char(c)));
                seen.push_back(Text(dialog, res::IDC_EFFECTIVE_IGNORE));
            }
            QTest::mouseClick(DlgItem<QPushButton>(&dialog, res::IDCANCEL), Qt::LeftButton);
        });
        EXPECT_EQ(shownAtOpen.toStdString(), row.seed.effective) << row.name;
        EXPECT_EQ(seen, row.previews) << row.name;
    }
}

TEST(SettingsDialog, OkTakesValuesCancelLeavesThem) {
    const Seed seed = {"bak tmp", "+", "bak tmp", 0, 1};
    struct Row {
        const char* name;
        int button;
        int result;
        Seed after;
    };
    const Row rows[] = {
        {"OK", res::IDOK, QDialog::Accepted, {"bak tmp o", "+", "bak tmp o", 1, 0}},
        {"Cancel", res::IDCANCEL, QDialog::Rejected, seed},
    };
    for (const Row& row : rows) {
        CSettingsDlg dialog;
        SeedDialog(dialog, seed);
        bool rvxShown = true;
        bool checkInOutShown = false;
        const int result = testing_support::RunModal(dialog, [&] {
            rvxShown = DlgItem<QCheckBox>(&dialog, res::IDC_CREATE_RVX)->isChecked();
            checkInOutShown = DlgItem<QCheckBox>(&dialog, res::IDC_ENABLE_CHECKINOUT)->isChecked();
            auto* edit = DlgItem<QLineEdit>(&dialog, res::IDC_IGNORE);
            edit->end(false);
            QTest::keyClicks(edit, QStringLiteral(" o"));
            QTest::mouseClick(DlgItem<QCheckBox>(&dialog, res::IDC_CREATE_RVX), Qt::LeftButton);
            QTest::mouseClick(DlgItem<QCheckBox>(&dialog, res::IDC_ENABLE_CHECKINOUT), Qt::LeftButton);
            // Nothing is taken before the dialog ends.
            EXPECT_EQ(dialog.m_strIgnore, seed.ignore) << row.name;
            QTest::mouseClick(DlgItem<QPushButton>(&dialog, row.button), Qt::LeftButton);
        });
        EXPECT_FALSE(rvxShown) << row.name;
        EXPECT_TRUE(checkInOutShown) << row.name;
        EXPECT_EQ(result, row.result) << row.name;
        EXPECT_EQ(dialog.m_strIgnore, row.after.ignore) << row.name;
        EXPECT_EQ(dialog.m_strFolderIgnore, row.after.folder) << row.name;
        EXPECT_EQ(dialog.m_strEffectiveIgnore, row.after.effective) << row.name;
        EXPECT_EQ(dialog.m_bCreateRvx, row.after.createRvx) << row.name;
        EXPECT_EQ(dialog.m_bEnableCheckInOut, row.after.checkInOut) << row.name;
    }
}

TEST(SettingsDialog, BytesSurviveAnUntouchedDialog) {
    // Lists from the settings file may hold bytes that are not UTF-8; confirming the dialog without
    // editing them must not replace them with what the display made of them.
    const std::string latin1Global = "bak \xE9t\xE9";
    const std::string latin1Folder = "obj\xFF +";
    CSettingsDlg dialog;
    SeedDialog(dialog, {latin1Global, latin1Folder, ExpandIgnoreList(latin1Global, latin1Folder), 1, 1});
    const int result = testing_support::RunModal(
        dialog, [&] { QTest::mouseClick(DlgItem<QPushButton>(&dialog, res::IDOK), Qt::LeftButton); });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(dialog.m_strIgnore, latin1Global);
    EXPECT_EQ(dialog.m_strFolderIgnore, latin1Folder);
    EXPECT_EQ(dialog.m_strEffectiveIgnore, ExpandIgnoreList(latin1Global, latin1Folder));

    // Editing the global list keeps the folder's own bytes in the result.
    CSettingsDlg edited;
    SeedDialog(edited, {"bak", latin1Folder, ExpandIgnoreList("bak", latin1Folder), 0, 0});
    testing_support::RunModal(edited, [&] {
        auto* edit = DlgItem<QLineEdit>(&edited, res::IDC_IGNORE);
        edit->end(false);
        QTest::keyClicks(edit, QStringLiteral(" tmp"));
        QTest::mouseClick(DlgItem<QPushButton>(&edited, res::IDOK), Qt::LeftButton);
    });
    EXPECT_EQ(edited.m_strIgnore, "bak tmp");
    EXPECT_EQ(edited.m_strFolderIgnore, latin1Folder);
    EXPECT_EQ(edited.m_strEffectiveIgnore, "obj\xFF bak tmp");
}

TEST(SettingsDialog, KeepReplacedFilesBoxAndDays) {
    // Ticked (typed null: the box clicked): the month offered; unticked: none; the count edited; emptied.
    using Row = std::tuple<int, const char*, int>;
    for (const auto& [seed, typed, after] :
         {Row{0, nullptr, 30}, Row{14, nullptr, 0}, Row{14, "90", 90}, Row{5, "", 1}}) {
        CSettingsDlg dialog;
        dialog.m_nKeepReplacedDays = seed;
        testing_support::RunModal(dialog, [&] {
            auto* days = DlgItem<QLineEdit>(&dialog, res::IDC_KEEP_DAYS);
            EXPECT_EQ(days->isEnabled(), seed > 0);
            EXPECT_EQ(days->text(), QString::number(seed > 0 ? seed : 30));
            if (!typed) {
                QTest::mouseClick(DlgItem<QCheckBox>(&dialog, res::IDC_KEEP_REPLACED), Qt::LeftButton);
                EXPECT_EQ(days->isEnabled(), seed == 0) << "the day count follows the box";
            } else {
                days->clear();
                QTest::keyClicks(days, QString::fromLatin1(typed));
            }
            QTest::mouseClick(DlgItem<QPushButton>(&dialog, res::IDOK), Qt::LeftButton);
        });
        EXPECT_EQ(dialog.m_nKeepReplacedDays, after) << seed;
    }
}
