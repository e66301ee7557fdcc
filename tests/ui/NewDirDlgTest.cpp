// SPDX-License-Identifier: GPL-3.0-or-later
// The new-folder dialog: when OK may be pressed, what OK creates, and a failed creation.
#include "ui/NewDirDlg.h"

#include "platform/FaultSeam.h"
#include "ui/MessageBox.h"
#include "res/Resources.h"
#include "res/Strings.h"
#include "ui/DialogLayout.h"

#include "DialogTestSupport.h"
#include "tests/TestSupport.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using testing_support::CTempDir;

namespace {

// Captures message boxes for the life of a test.
class MessageCapture {
  public:
    MessageCapture() {
        SetMessageBoxHook([this](const std::string& text, unsigned) {
            texts.push_back(text);
            return kIdOk;
        });
    }
    ~MessageCapture() { SetMessageBoxHook({}); }
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;
    std::vector<std::string> texts;
};

void Type(QDialog& dialog, const QString& text) {
    auto* edit = DlgItem<QLineEdit>(&dialog, res::IDC_NEWDIR_NAME);
    edit->clear();
    bool ascii = true;
    for (QChar c : text) {
        ascii = ascii && c.unicode() < 0x80;
    }
    if (ascii) {
        QTest::keyClicks(edit, text);
    } else {
        edit->insert(text);  // QTest types ASCII keys only; insert() edits like typing does
    }
}

bool OkEnabled(const QDialog& dialog) {
    return DlgItem<QPushButton>(&dialog, res::IDOK)->isEnabled();
}

}  // namespace

TEST(NewDirDialog, OkStateFollowsTheName) {
    CTempDir base;
    testing_support::MakeFolder(base / "existing");
    testing_support::WriteFile(base / "file.txt", "x");
    struct Row {
        const char* name;
        QString typed;
        bool enabled;
    };
    const std::vector<Row> rows = {
        {"valid", QStringLiteral("new folder"), true},
        {"backslash", QStringLiteral("a\\b"), false},
        {"colon", QStringLiteral("a:b"), false},
        {"question mark", QStringLiteral("what?"), false},
        {"slash", QStringLiteral("a/b"), false},
        {"existing folder", QStringLiteral("existing"), false},
        {"existing file", QStringLiteral("file.txt"), false},
        {"dot", QStringLiteral("."), false},
        {"non-ASCII", QStringLiteral("Ordner \u00e4\u00f6\u00fc"), true},
        {"empty", QString(), false},
    };
    CNewDirDlg dialog(base.Path() + "/");
    EXPECT_FALSE(OkEnabled(dialog)) << "OK starts disabled";
    for (const Row& row : rows) {
        Type(dialog, QStringLiteral("ok"));
        ASSERT_TRUE(OkEnabled(dialog)) << row.name << ": precondition";
        Type(dialog, row.typed);
        EXPECT_EQ(OkEnabled(dialog), row.enabled) << row.name;
    }
    // Deleting characters re-checks as well: "existingx" is free, "existing" is not.
    Type(dialog, QStringLiteral("existingx"));
    EXPECT_TRUE(OkEnabled(dialog));
    QTest::keyClick(DlgItem<QLineEdit>(&dialog, res::IDC_NEWDIR_NAME), Qt::Key_Backspace);
    EXPECT_FALSE(OkEnabled(dialog));
}

TEST(NewDirDialog, OkCreatesExactlyThatFolder) {
    struct Row {
        const char* name;
        bool trailingSeparator;
        QString typed;
        std::string created;
    };
    const std::vector<Row> rows = {
        {"plain", true, QStringLiteral("photos"), "photos"},
        {"base without separator", false, QStringLiteral("notes 2026"), "notes 2026"},
        {"UTF-8 name", true, QStringLiteral("\u00e9t\u00e9"), "\xC3\xA9t\xC3\xA9"},
    };
    for (const Row& row : rows) {
        CTempDir base;
        testing_support::WriteFile(base / "keep.txt", "x");
        CNewDirDlg dialog(base.Path() + (row.trailingSeparator ? "/" : ""));
        const int result = testing_support::RunModal(dialog, [&] {
            Type(dialog, row.typed);
            QTest::keyClick(DlgItem<QLineEdit>(&dialog, res::IDC_NEWDIR_NAME), Qt::Key_Return);
        });
        EXPECT_EQ(result, QDialog::Accepted) << row.name;
        EXPECT_EQ(testing_support::ListNames(base.Path()),
                  (std::vector<std::string>{"keep.txt", row.created}))
            << row.name;
        EXPECT_TRUE(testing_support::ListNames(base / row.created).empty()) << row.name;
    }
}

TEST(NewDirDialog, EnterWithOkDisabledDoesNothing) {
    CTempDir base;
    CNewDirDlg dialog(base.Path());
    bool stillOpen = false;
    const int result = testing_support::RunModal(dialog, [&] {
        Type(dialog, QStringLiteral("bad:name"));
        QTest::keyClick(DlgItem<QLineEdit>(&dialog, res::IDC_NEWDIR_NAME), Qt::Key_Return);
        stillOpen = dialog.isVisible();
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_NE(result, QDialog::Accepted);
    EXPECT_TRUE(testing_support::ListNames(base.Path()).empty());
}

TEST(NewDirDialog, FailedCreationShowsMessageAndStaysOpen) {
    CTempDir base;
    MessageCapture messages;
    CNewDirDlg dialog(base.Path());
    bool stillOpen = false;
    bool okStillEnabled = false;
    platform::TestInjectFault(platform::FaultOp::CreateFolder, 1, EACCES);
    const int result = testing_support::RunModal(dialog, [&] {
        Type(dialog, QStringLiteral("denied"));
        QTest::mouseClick(DlgItem<QPushButton>(&dialog, res::IDOK), Qt::LeftButton);
        stillOpen = dialog.isVisible();
        okStillEnabled = OkEnabled(dialog);
        // The user may try again; the second attempt succeeds.
        QTest::mouseClick(DlgItem<QPushButton>(&dialog, res::IDOK), Qt::LeftButton);
    });
    platform::TestClearFaults();
    EXPECT_TRUE(stillOpen);
    EXPECT_TRUE(okStillEnabled);
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(messages.texts[0], std::string(res::kCannotCreateDirectory) + std::strerror(EACCES));
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(testing_support::ListNames(base.Path()), std::vector<std::string>{"denied"});
}

namespace {

// The child side of the case below: runs the dialog on the given base folder and prints what happened.
void RunReadOnlyChild(const char* basePath) {
    MessageCapture messages;
    CNewDirDlg dialog(basePath);
    testing_support::RunModal(dialog, [&] {
        Type(dialog, QStringLiteral("blocked"));
        QTest::mouseClick(DlgItem<QPushButton>(&dialog, res::IDOK), Qt::LeftButton);
        if (dialog.isVisible()) {
            std::printf("STILL-OPEN\n");
        }
    });
    for (const std::string& text : messages.texts) {
        std::printf("MESSAGE[%s]\n", text.c_str());
    }
    std::fflush(stdout);
}

}  // namespace

TEST(NewDirDialog, ReadOnlyBaseFolderAsOrdinaryUser) {
    // A real permission failure, no fault seam: root may write anywhere, so the dialog runs in a child
    // process as an ordinary user: this test binary again, running this case with the base folder set.
    if (const char* childBase = std::getenv("TANDREL_NEWDIR_BASE")) {
        RunReadOnlyChild(childBase);
        return;
    }
    CTempDir base;
    testing_support::SetMode(base.Path(), 0555);
    std::string output;
    const std::string command =
        "TANDREL_NEWDIR_BASE=" + testing_support::ShellQuote(base.Path()) + " " +
        testing_support::ShellQuote(QCoreApplication::applicationFilePath().toStdString()) +
        " --gtest_filter=NewDirDialog.ReadOnlyBaseFolderAsOrdinaryUser 2>&1";
    const int status = testing_support::RunAsOrdinaryUser(command, &output);
    testing_support::SetMode(base.Path(), 0755);
    if (status == -1) {
        GTEST_SKIP() << "cannot drop privileges here";
    }
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("MESSAGE[Cannot create directory: Permission denied]"), std::string::npos)
        << output;
    EXPECT_NE(output.find("STILL-OPEN"), std::string::npos) << output;
    EXPECT_TRUE(testing_support::ListNames(base.Path()).empty());
}
