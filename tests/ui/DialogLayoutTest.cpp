// SPDX-License-Identifier: GPL-3.0-or-later
// Dialog building from the resource templates: geometry in dialog units, widget kinds and styles,
// default buttons, tab order, and the template tables themselves.
#include "ui/DialogLayout.h"

#include "res/Resources.h"
#include "ui/IconLabel.h"

#include <QCheckBox>
#include <QDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

namespace {

const std::vector<int> kAllTemplates = {res::IDD_ABOUTBOX, res::IDD_MAIN,  res::IDD_JOBLIST,
                                        res::IDD_SETTINGS, res::IDD_USAGE, res::IDD_PROGRESS,
                                        res::IDD_NEWDIR};

// The font's dialog base units, measured here from the font rather than taken from the code under test.
struct Units {
    double x;  // pixels per horizontal dialog unit
    double y;  // pixels per vertical dialog unit
};
Units MeasureUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const double alphabet =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {std::round(alphabet / 52.0) / 4.0, metrics.height() / 8.0};
}

// Pixel values may differ from the exact product by the rounding of one mapping.
void ExpectNear(int pixels, double units, double scale, const char* what) {
    EXPECT_LE(std::abs(pixels - units * scale), 1.0)
        << what << ": " << pixels << " px for " << units << " units";
}

}  // namespace

TEST(DialogLayout, TemplatesAreConsistent) {
    for (int id : kAllTemplates) {
        const res::DialogTemplate* dialog = res::FindDialogTemplate(id);
        ASSERT_NE(dialog, nullptr) << "template " << id;
        std::set<int> ids;
        for (const res::ControlTemplate& control : dialog->controls) {
            const std::string name =
                "template " + std::to_string(id) + " control " + std::to_string(control.id);
            EXPECT_GE(control.x, 0) << name;
            EXPECT_GE(control.y, 0) << name;
            EXPECT_LE(control.x + control.cx, dialog->cx) << name << " sticks out on the right";
            EXPECT_LE(control.y + control.cy, dialog->cy) << name << " sticks out at the bottom";
            if (control.id != res::IDC_STATIC) {
                EXPECT_TRUE(ids.insert(control.id).second) << name << " appears twice";
            }
        }
    }
    EXPECT_EQ(res::FindDialogTemplate(101), nullptr);
}

TEST(DialogLayout, GeometryFollowsTheDialogFont) {
    // A fault here (a fixed pixel size, or the application's font instead of the dialog's) shows as a
    // layout that no longer scales with the font.
    for (int pointSize : {8, 13, 20}) {
        QDialog dialog;
        QFont font = dialog.font();
        font.setPointSize(pointSize);
        dialog.setFont(font);
        BuildDialog(&dialog, res::IDD_MAIN);
        const Units units = MeasureUnits(font);
        SCOPED_TRACE("point size " + std::to_string(pointSize));

        QWidget* tree = GetDlgItem(&dialog, res::IDC_TREE);
        ASSERT_NE(tree, nullptr);
        const QRect r = tree->geometry();
        ExpectNear(r.x(), 7, units.x, "tree x");
        ExpectNear(r.y(), 38, units.y, "tree y");
        ExpectNear(r.width(), 307, units.x, "tree width");
        ExpectNear(r.height(), 137, units.y, "tree height");

        ExpectNear(dialog.width(), 408, units.x, "dialog width");
        ExpectNear(dialog.height(), 198, units.y, "dialog height");
        EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize()) << "the dialog has a fixed size";

        // The Quit button lies to the right of the tree and the edits, as in the template.
        EXPECT_GT(GetDlgItem(&dialog, res::IDCANCEL)->x(), r.right());
        EXPECT_LT(GetDlgItem(&dialog, res::IDC_SOURCE)->geometry().bottom(),
                  GetDlgItem(&dialog, res::IDC_DESTINATION)->geometry().bottom());
    }
}

TEST(DialogLayout, ControlKindsAndStyles) {
    struct Row {
        const char* name;
        int templateId;
        int id;
        const char* className;
        bool hidden;
        bool enabled;
    };
    const Row rows[] = {
        {"main OK", res::IDD_MAIN, res::IDOK, "QPushButton", true, true},
        {"main Quit", res::IDD_MAIN, res::IDCANCEL, "QPushButton", false, true},
        {"main tree", res::IDD_MAIN, res::IDC_TREE, "QTreeWidget", false, true},
        {"main source", res::IDD_MAIN, res::IDC_SOURCE, "QLineEdit", false, true},
        {"main start", res::IDD_MAIN, res::IDC_START, "QPushButton", false, false},
        {"job list", res::IDD_JOBLIST, res::IDC_JOBLIST, "QTableView", false, true},
        {"progress bar", res::IDD_PROGRESS, res::IDC_PROGRESS_BAR, "QProgressBar", false, true},
        {"progress text", res::IDD_PROGRESS, res::IDC_PROGRESS_TEXT, "QLabel", false, true},
        {"settings check box", res::IDD_SETTINGS, res::IDC_CREATE_RVX, "QCheckBox", false, true},
        {"new folder OK", res::IDD_NEWDIR, res::IDOK, "QPushButton", false, false},
        {"usage icon", res::IDD_USAGE, res::IDC_USAGE_ICON, "CIconLabel", false, true},
        {"about name", res::IDD_ABOUTBOX, res::IDC_ABOUT_NAME, "QLabel", false, true},
    };
    for (const Row& row : rows) {
        QDialog dialog;
        BuildDialog(&dialog, row.templateId);
        QWidget* widget = GetDlgItem(&dialog, row.id);
        ASSERT_NE(widget, nullptr) << row.name;
        EXPECT_STREQ(widget->metaObject()->className(), row.className) << row.name;
        EXPECT_EQ(widget->objectName(), QStringLiteral("ctl") + QString::number(row.id)) << row.name;
        EXPECT_EQ(widget->isHidden(), row.hidden) << row.name;
        EXPECT_EQ(widget->isEnabled(), row.enabled) << row.name;
        EXPECT_EQ(widget->parentWidget(), &dialog) << row.name;
    }

    QDialog main;
    BuildDialog(&main, res::IDD_MAIN);
    EXPECT_EQ(main.windowTitle(), QStringLiteral("Tandrel"));
    auto* source = DlgItem<QLineEdit>(&main, res::IDC_SOURCE);
    EXPECT_TRUE(source->isReadOnly());
    EXPECT_FALSE(source->hasFrame());
    EXPECT_TRUE(DlgItem<QPushButton>(&main, res::IDOK)->isDefault());
    EXPECT_FALSE(DlgItem<QPushButton>(&main, res::IDCANCEL)->isDefault());
    EXPECT_EQ(DlgItem<QPushButton>(&main, res::IDC_START)->text(), QStringLiteral("&Start..."));

    QDialog settings;
    BuildDialog(&settings, res::IDD_SETTINGS);
    EXPECT_FALSE(DlgItem<QLineEdit>(&settings, res::IDC_IGNORE)->isReadOnly());
    EXPECT_TRUE(DlgItem<QLineEdit>(&settings, res::IDC_FOLDER_IGNORE)->isReadOnly());
    EXPECT_TRUE(DlgItem<QLineEdit>(&settings, res::IDC_FOLDER_IGNORE)->hasFrame());

    QDialog about;
    BuildDialog(&about, res::IDD_ABOUTBOX);
    auto* icon = DlgItem<QLabel>(&about, res::IDC_STATIC);
    ASSERT_NE(icon, nullptr);
    EXPECT_FALSE(icon->pixmap().isNull()) << "the program icon is shown";
    EXPECT_EQ(DlgItem<QLabel>(&about, res::IDC_ABOUT_TEXT)->frameShadow(), QFrame::Sunken);
}

TEST(DialogLayout, CloseBoxFollowsSystemMenu) {
    QDialog progress;
    BuildDialog(&progress, res::IDD_PROGRESS);
    EXPECT_FALSE(progress.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(progress.windowTitle(), QStringLiteral("TD"));
    QDialog jobs;
    BuildDialog(&jobs, res::IDD_JOBLIST);
    EXPECT_TRUE(jobs.windowFlags() & Qt::WindowCloseButtonHint);
}

TEST(DialogLayout, OkAndCancelEndTheDialog) {
    struct Row {
        const char* name;
        int button;
        int result;
    };
    for (const Row& row :
         {Row{"OK", res::IDOK, QDialog::Accepted}, Row{"Cancel", res::IDCANCEL, QDialog::Rejected}}) {
        QDialog dialog;
        BuildDialog(&dialog, res::IDD_JOBLIST);
        dialog.setResult(-1);
        dialog.show();
        QSignalSpy finished(&dialog, &QDialog::finished);
        QTest::mouseClick(DlgItem<QPushButton>(&dialog, row.button), Qt::LeftButton);
        EXPECT_EQ(finished.count(), 1) << row.name;
        EXPECT_EQ(dialog.result(), row.result) << row.name;
        EXPECT_FALSE(dialog.isVisible()) << row.name;
    }
}

TEST(DialogLayout, FactoryWidgetsAndTabOrder) {
    QDialog dialog;
    // Created before the dialog is built: creation order alone would put it first in the tab chain.
    auto* early = new QLineEdit(&dialog);
    int asked = 0;
    BuildDialog(&dialog, res::IDD_SETTINGS, [&](const res::ControlTemplate& control, QWidget*) -> QWidget* {
        ++asked;
        return control.id == res::IDC_IGNORE ? early : nullptr;
    });
    EXPECT_EQ(asked, static_cast<int>(res::FindDialogTemplate(res::IDD_SETTINGS)->controls.size()));
    EXPECT_EQ(GetDlgItem(&dialog, res::IDC_IGNORE), early);
    EXPECT_EQ(early->geometry(), MapDialogRect(&dialog, QRect(7, 30, 160, 14)));

    std::vector<QString> chain;
    QWidget* first = GetDlgItem(&dialog, res::IDOK);
    QWidget* widget = first;
    do {
        if ((widget->focusPolicy() & Qt::TabFocus) && widget->parentWidget() == &dialog) {
            chain.push_back(widget->objectName());
        }
        widget = widget->nextInFocusChain();
    } while (widget != first && chain.size() < 20);
    const std::vector<QString> expected = {ControlName(1),    ControlName(2),    ControlName(1012),
                                           ControlName(1013), ControlName(1014), ControlName(1017),
                                           ControlName(1024), ControlName(1040), ControlName(1041)};
    EXPECT_EQ(chain, expected);

    // The label's mnemonic leads to the edit it names, not to the OK button that follows it.
    auto* label = DlgItem<QLabel>(&dialog, res::IDC_STATIC);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->buddy(), early);
}

TEST(DialogLayout, MenuTemplate) {
    const std::vector<res::MenuEntry>& menu = res::FindMenuTemplate(res::IDM_START);
    ASSERT_EQ(menu.size(), 5u);
    const std::vector<std::pair<int, std::string>> expected = {{1004, "&Backup..."},
                                                               {1005, "&Synchronize..."},
                                                               {0, ""},
                                                               {32771, "Check &In..."},
                                                               {32772, "Check &Out..."}};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(menu[i].id, expected[i].first) << "entry " << i;
        EXPECT_EQ(menu[i].text, expected[i].second) << "entry " << i;
    }
    EXPECT_EQ(res::FindMenuTemplate(0x10000 | res::IDM_START).size(), 5u) << "only the low 16 bits count";
    EXPECT_TRUE(res::FindMenuTemplate(1021).empty());
}

TEST(DialogLayout, TextsFitTheirControls) {
    // The desktop's font is wider than the one the templates were drawn for; no static text may be cut.
    for (int id : kAllTemplates) {
        QDialog dialog;
        BuildDialog(&dialog, id);
        for (QLabel* label : dialog.findChildren<QLabel*>()) {
            if (label->text().isEmpty()) {
                continue;
            }
            const QFontMetrics metrics(label->font());
            const int need = metrics.horizontalAdvance(QString(label->text()).remove(u'&'));
            EXPECT_LE(need, label->width()) << "template " << id << ": " << label->text().toStdString();
        }
    }
}
