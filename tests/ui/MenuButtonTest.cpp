// SPDX-License-Identifier: GPL-3.0-or-later
// The popup menu button: its entries, where the popup appears, greyed entries, and which commands reach
// the parent.
#include "res/Resources.h"
#include "tests/ui/QStringPrinter.h"
#include "ui/MenuButton.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// A window holding one menu button with the Start menu, away from the screen's edges.
struct Fixture {
    QWidget window;
    CMenuButton* button;

    Fixture() : button(new CMenuButton(&window)) {
        window.setGeometry(200, 150, 300, 200);
        button->setGeometry(40, 60, 90, 26);
        button->setText("&Start...");
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    ~Fixture() { CloseMenus(); }

    static void CloseMenus() {
        while (QWidget* popup = QApplication::activePopupWidget()) {
            popup->close();
        }
    }
    // The button's rectangle on the screen.
    QRect ButtonRect() const { return QRect(button->mapToGlobal(QPoint(0, 0)), button->size()); }
    QAction* Entry(int id) const {
        for (QAction* action : button->SubMenu()->actions()) {
            if (!action->isSeparator() && action->data().toInt() == id) {
                return action;
            }
        }
        return nullptr;
    }
};

}  // namespace

TEST(MenuButton, LoadsTheStartMenu) {
    CMenuButton button;
    EXPECT_EQ(button.SubMenu(), nullptr);
    EXPECT_EQ(button.m_nAlign, MBA_BELOW);
    EXPECT_EQ(button.m_nSubMenu, 0);
    EXPECT_FALSE(button.LoadPopupMenu(4711));
    EXPECT_EQ(button.SubMenu(), nullptr);

    // Only the low 16 bits of the id count.
    ASSERT_TRUE(button.LoadPopupMenu(0x10000 | res::IDM_START));
    ASSERT_NE(button.SubMenu(), nullptr);
    struct Expected {
        int id;
        const char* text;
    };
    const Expected expected[] = {
        {res::ID_BACKUP, "&Backup..."},    {res::ID_SYNCHRONIZE, "&Synchronize..."}, {0, nullptr},
        {res::ID_CHECKIN, "Check &In..."}, {res::ID_CHECKOUT, "Check &Out..."},
    };
    const QList<QAction*> actions = button.SubMenu()->actions();
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(std::size(expected)));
    for (size_t i = 0; i < std::size(expected); ++i) {
        if (!expected[i].text) {
            EXPECT_TRUE(actions[i]->isSeparator()) << i;
            continue;
        }
        EXPECT_FALSE(actions[i]->isSeparator()) << i;
        EXPECT_EQ(actions[i]->text(), QString(expected[i].text)) << i;
        EXPECT_EQ(actions[i]->data().toInt(), expected[i].id) << i;
        EXPECT_TRUE(actions[i]->isEnabled()) << i;
    }

    // A failed load keeps the menu that was loaded.
    EXPECT_FALSE(button.LoadPopupMenu(4711));
    ASSERT_NE(button.SubMenu(), nullptr);
    EXPECT_EQ(button.SubMenu()->actions().size(), 5);
    // Loading again replaces the menu instead of adding a second popup.
    ASSERT_TRUE(button.LoadPopupMenu(res::IDM_START));
    EXPECT_EQ(button.m_menu->actions().size(), 1);
    EXPECT_EQ(button.SubMenu()->actions().size(), 5);
}

// Where a click shows the popup, for each alignment, measured on the popup that actually opens.
TEST(MenuButton, ShowsThePopupBesideTheButton) {
    struct Row {
        const char* name;
        int align;
        int subMenu;
        bool loaded;
        bool shown;
    };
    const Row rows[] = {
        {"below", MBA_BELOW, 0, true, true},
        {"above", MBA_ABOVE, 0, true, true},
        {"right", MBA_RIGHT, 0, true, true},
        {"unknown alignment", 3, 0, true, false},
        {"negative alignment", -1, 0, true, false},
        {"no such popup", MBA_BELOW, 1, true, false},
        {"no menu loaded", MBA_BELOW, 0, false, false},
    };
    for (const Row& row : rows) {
        Fixture fixture;
        CMenuButton* button = fixture.button;
        if (row.loaded) {
            ASSERT_TRUE(button->LoadPopupMenu(res::IDM_START));
        }
        button->m_nAlign = row.align;
        button->m_nSubMenu = row.subMenu;
        EXPECT_EQ(button->PopupPosition().has_value(), row.shown) << row.name;

        QSignalSpy spy(button, &CMenuButton::commandSelected);
        QSignalSpy clicked(button, &QPushButton::clicked);
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(clicked.count(), 1) << row.name;
        QMenu* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!row.shown) {
            EXPECT_EQ(popup, nullptr) << row.name;
            EXPECT_EQ(spy.count(), 0) << row.name;
            continue;
        }
        ASSERT_NE(popup, nullptr) << row.name;
        EXPECT_EQ(popup, button->SubMenu()) << row.name;
        const QRect menu = popup->geometry();
        const QRect rect = fixture.ButtonRect();
        switch (row.align) {
            case MBA_BELOW:
                EXPECT_EQ(menu.topLeft(), QPoint(rect.left(), rect.top() + rect.height())) << row.name;
                break;
            case MBA_ABOVE:
                EXPECT_EQ(menu.top() + menu.height(), rect.top()) << row.name;
                EXPECT_EQ(menu.left(), rect.left()) << row.name;
                break;
            case MBA_RIGHT:
                EXPECT_EQ(menu.topLeft(), QPoint(rect.left() + rect.width(), rect.top())) << row.name;
                break;
        }
        // Dismissing the popup sends nothing.
        QTest::keyClick(popup, Qt::Key_Escape);
        EXPECT_FALSE(popup->isVisible()) << row.name;
        EXPECT_EQ(spy.count(), 0) << row.name;
    }
}

// A picked entry reaches the parent as its command, once; greyed entries cannot be picked.
TEST(MenuButton, PickedEntriesBecomeCommands) {
    struct Row {
        const char* name;
        bool greyCheckInOut;
        int key;        // mnemonic typed into the open popup, or 0
        int triggerId;  // entry triggered directly, or 0
        int expected;   // command received, or 0 for none
    };
    const Row rows[] = {
        {"mnemonic of Check In", false, Qt::Key_I, 0, res::ID_CHECKIN},
        {"mnemonic of Backup", false, Qt::Key_B, 0, res::ID_BACKUP},
        {"triggered Synchronize", false, 0, res::ID_SYNCHRONIZE, res::ID_SYNCHRONIZE},
        {"greyed Check Out by mnemonic", true, Qt::Key_O, 0, 0},
        {"greyed Check In triggered", true, 0, res::ID_CHECKIN, 0},
        {"Backup stays enabled beside greyed entries", true, Qt::Key_B, 0, res::ID_BACKUP},
    };
    for (const Row& row : rows) {
        Fixture fixture;
        CMenuButton* button = fixture.button;
        ASSERT_TRUE(button->LoadPopupMenu(res::IDM_START));
        if (row.greyCheckInOut) {
            EXPECT_TRUE(button->EnableCommand(res::ID_CHECKIN, false));
            EXPECT_TRUE(button->EnableCommand(res::ID_CHECKOUT, false));
        }
        EXPECT_EQ(fixture.Entry(res::ID_CHECKIN)->isEnabled(), !row.greyCheckInOut) << row.name;
        EXPECT_EQ(fixture.Entry(res::ID_CHECKOUT)->isEnabled(), !row.greyCheckInOut) << row.name;
        EXPECT_TRUE(fixture.Entry(res::ID_BACKUP)->isEnabled()) << row.name;

        QSignalSpy spy(button, &CMenuButton::commandSelected);
        button->setFocus();
        QTest::keyClick(button, Qt::Key_Space);  // the keyboard opens it as the mouse does
        QMenu* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(popup, nullptr) << row.name;
        if (row.key) {
            QTest::keyClick(popup, static_cast<Qt::Key>(row.key));
        } else {
            fixture.Entry(row.triggerId)->trigger();
        }
        if (row.expected) {
            ASSERT_EQ(spy.count(), 1) << row.name;
            EXPECT_EQ(spy[0][0].toInt(), row.expected) << row.name;
            EXPECT_FALSE(popup->isVisible()) << row.name;
        } else {
            EXPECT_EQ(spy.count(), 0) << row.name;
        }
    }
    CMenuButton unloaded;
    EXPECT_FALSE(unloaded.EnableCommand(res::ID_CHECKIN, false));
    CMenuButton loaded;
    ASSERT_TRUE(loaded.LoadPopupMenu(res::IDM_START));
    EXPECT_FALSE(loaded.EnableCommand(4711, false));
    // Enabling again makes the entry pickable.
    EXPECT_TRUE(loaded.EnableCommand(res::ID_CHECKOUT, false));
    EXPECT_TRUE(loaded.EnableCommand(res::ID_CHECKOUT, true));
    QSignalSpy spy(&loaded, &CMenuButton::commandSelected);
    for (QAction* action : loaded.SubMenu()->actions()) {
        if (action->data().toInt() == res::ID_CHECKOUT) {
            action->trigger();
        }
    }
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy[0][0].toInt(), res::ID_CHECKOUT);
}
