// SPDX-License-Identifier: GPL-3.0-or-later
// The version-table reader, the About dialog's texts and the usage dialog.
#include "res/Resources.h"
#include "res/Strings.h"
#include "ui/AboutDlg.h"
#include "ui/DialogLayout.h"
#include "ui/IconLabel.h"
#include "ui/UsageDlg.h"
#include "ui/VersionInfo.h"

#include "DialogTestSupport.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <string>

namespace {

// Restores the compiled-in version table when a test ends.
class VersionTableScope {
  public:
    explicit VersionTableScope(const VersionTable& table) { TestSetVersionTable(&table); }
    ~VersionTableScope() { TestSetVersionTable(nullptr); }
    VersionTableScope(const VersionTableScope&) = delete;
    VersionTableScope& operator=(const VersionTableScope&) = delete;
};

VersionTable TableWithProductVersion(uint32_t ms, uint32_t ls) {
    VersionTable table;
    table.fixed = res::VersionFixedInfo();
    table.fixed.productVersionMS = ms;
    table.fixed.productVersionLS = ls;
    table.strings = res::VersionStrings();
    return table;
}

}  // namespace

TEST(VersionInfo, CompiledTable) {
    SetVersionInfoSource(kAboutVersionPrefix);
    std::string value;
    EXPECT_TRUE(GetVersionString(value, "ProductName"));
    EXPECT_EQ(value, "Tandrel");
    EXPECT_TRUE(GetVersionString(value, "productversion")) << "keys match ignoring case";
    EXPECT_EQ(value, res::kVersionText);
    EXPECT_TRUE(GetVersionString(value, "OriginalFilename"));
    EXPECT_EQ(value, "tandrel");
    EXPECT_FALSE(GetVersionString(value, "NoSuchKey"));
    EXPECT_EQ(value, "");

    res::FixedVersionInfo info{};
    ASSERT_TRUE(GetFixedVersionInfo(info));
    EXPECT_EQ(info.fileVersionMS, 0x00020000u);
    EXPECT_EQ(info.fileVersionLS, 0x0000000Bu);
    // The root query must not disturb the prefix a caller set.
    EXPECT_TRUE(GetVersionString(value, "InternalName"));
    EXPECT_EQ(value, "Tandrel");

    uint16_t major = 9, minor = 9, build = 9;
    EXPECT_TRUE(GetProductVersion(&major, &minor, &build));
    EXPECT_EQ(major, 2);
    EXPECT_EQ(minor, 0);
    EXPECT_EQ(build, 11);
    EXPECT_TRUE(GetProductVersion(nullptr, nullptr, &build)) << "absent outputs are allowed";

    SetVersionInfoSource("\\StringFileInfo\\040904b0\\");
    EXPECT_FALSE(GetVersionString(value, "ProductName")) << "another language has no strings";
    SetVersionInfoSource("");
    EXPECT_FALSE(GetVersionString(value, "ProductName")) << "strings live below their table";
}

TEST(VersionInfo, AboutNameLineForBuilds) {
    struct Row {
        const char* name;
        uint32_t ms, ls;
        const char* expected;
        bool thirdIsZero;
    };
    const Row rows[] = {
        {"build 11", 0x00020000, 0x0000000B, "Tandrel Version 2.0 (build 011)", true},
        {"build 7", 0x00020000, 0x00000007, "Tandrel Version 2.0 (build 007)", true},
        {"build 1234", 0x00020000, 1234, "Tandrel Version 2.0 (build 1234)", true},
        {"third number set", 0x00020000, 0x0003000B, "Tandrel Version 2.0 (build 011)", false},
        {"largest numbers", 0xFFFF0001, 0x0000FFFF, "Tandrel Version 65535.1 (build 65535)", true},
    };
    for (const Row& row : rows) {
        VersionTableScope scope(TableWithProductVersion(row.ms, row.ls));
        EXPECT_EQ(CAboutDlg::NameLine(), row.expected) << row.name;
        EXPECT_EQ(GetProductVersion(nullptr, nullptr, nullptr), row.thirdIsZero) << row.name;
        CAboutDlg dialog;
        EXPECT_EQ(DlgItem<QLabel>(&dialog, res::IDC_ABOUT_NAME)->text(), QString::fromUtf8(row.expected))
            << row.name;
    }
}

TEST(VersionInfo, AboutInfoText) {
    std::string copyright;
    std::string comments;
    SetVersionInfoSource(kAboutVersionPrefix);
    ASSERT_TRUE(GetVersionString(copyright, "LegalCopyright"));
    ASSERT_TRUE(GetVersionString(comments, "Comments"));
    EXPECT_FALSE(copyright.empty());
    EXPECT_FALSE(comments.empty());
    const std::string addresses = std::string(res::kAuthorMail) + "\n" + res::kAuthorWeb;
    EXPECT_EQ(CAboutDlg::InfoText(), copyright + "\n\n" + addresses + "\n\n" + comments + "\n");

    CAboutDlg dialog;
    auto* info = DlgItem<QLabel>(&dialog, res::IDC_ABOUT_TEXT);
    ASSERT_NE(info, nullptr);
    EXPECT_TRUE(info->openExternalLinks());
    EXPECT_TRUE(
        info->text().contains(QStringLiteral("href=\"mailto:") + QString::fromUtf8(res::kAuthorMail)));
    EXPECT_TRUE(info->text().contains(QStringLiteral("href=\"") + QString::fromUtf8(res::kAuthorWeb)));
    EXPECT_LE(info->heightForWidth(info->width()), info->height()) << "the whole text is visible";

    // Missing values leave their place empty; the rest of the text stays.
    VersionTable table = TableWithProductVersion(0x00020000, 11);
    table.strings = {{"ProductName", "Tandrel"}, {"LegalCopyright", "(C) <Someone> & Co"}};
    VersionTableScope scope(table);
    EXPECT_EQ(CAboutDlg::InfoText(), "(C) <Someone> & Co\n\n" + addresses + "\n\n\n");
    CAboutDlg escaped;
    EXPECT_TRUE(DlgItem<QLabel>(&escaped, res::IDC_ABOUT_TEXT)
                    ->text()
                    .startsWith(QStringLiteral("(C) &lt;Someone&gt; &amp; Co")))
        << "values are shown as text, not as markup";

    VersionTable none;
    none.hasFixed = false;
    VersionTableScope empty(none);
    EXPECT_EQ(CAboutDlg::NameLine(), " Version 0.0 (build 000)");
}

TEST(UsageDialog, RowsExactly) {
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"/?, /h, /help", "Displays this help. Click Icon to get program information."},
        {"/explorer:#", "Use from Exporer to get the current selected directory"},
        {"/srcdir:#", "Determines the source directory (# ist the directory, use \" if necessary)"},
        {"/destdir:#", "Determines the destionation directory"},
        {"/!backup, /!b", "Starts backup. (use /srcdir: and /destdir: options before!)"},
        {"/!synchronize, /!s", "Starts synchronization"},
        {"/alert, /!alert", "Shows a message box if an error occurs while performing \"autobackup\""},
        {"/!quit, /!q", "Close Tandrel"},
    };
    const std::vector<res::UsageRow>& rows = res::UsageRows();
    ASSERT_EQ(rows.size(), expected.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].option, expected[i].first) << "row " << i;
        EXPECT_EQ(rows[i].explanation, expected[i].second) << "row " << i;
    }

    // The dialog shows the same rows top to bottom, each explanation beside its option.
    CUsageDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Tandrel Usage:"));
    EXPECT_EQ(DlgItem<QPushButton>(&dialog, res::IDOK)->text(), QStringLiteral("&Close"));
    std::vector<QLabel*> options;
    std::vector<QLabel*> explanations;
    for (QLabel* label : dialog.findChildren<QLabel*>(ControlName(res::IDC_STATIC))) {
        (label->x() < DlgItem<QWidget>(&dialog, res::IDOK)->x() / 3 ? options : explanations)
            .push_back(label);
    }
    auto byY = [](QLabel* a, QLabel* b) { return a->y() < b->y(); };
    std::sort(options.begin(), options.end(), byY);
    std::sort(explanations.begin(), explanations.end(), byY);
    ASSERT_EQ(options.size(), expected.size());
    ASSERT_EQ(explanations.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(options[i]->text().toStdString(), expected[i].first) << "row " << i;
        EXPECT_EQ(explanations[i]->text().toStdString(), expected[i].second) << "row " << i;
        EXPECT_EQ(options[i]->y(), explanations[i]->y()) << "row " << i;
    }
}

TEST(UsageDialog, IconOpensAboutOnTop) {
    CUsageDlg dialog;
    bool aboutSeen = false;
    bool usageStillOpen = false;
    const int result = testing_support::RunModal(dialog, [&] {
        auto* icon = DlgItem<CIconLabel>(&dialog, res::IDC_USAGE_ICON);
        ASSERT_NE(icon, nullptr);
        QTimer::singleShot(0, [&] {
            auto* about = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
            aboutSeen = about != nullptr;
            if (about) {
                QTest::mouseClick(DlgItem<QPushButton>(about, res::IDOK), Qt::LeftButton);
            }
        });
        QTest::mouseClick(icon, Qt::LeftButton);  // returns once the About dialog is closed
        usageStillOpen = dialog.isVisible();
        QTest::mouseClick(DlgItem<QPushButton>(&dialog, res::IDOK), Qt::LeftButton);
    });
    EXPECT_TRUE(aboutSeen);
    EXPECT_TRUE(usageStillOpen);
    EXPECT_EQ(result, QDialog::Accepted) << "\"&Close\" ends the usage dialog";
}
