// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MenuButton.h"

#include "res/Resources.h"

#include <QAction>
#include <QMenu>

CMenuButton::CMenuButton(QWidget* parent) : QPushButton(parent) {
    // The button handles its own click: its parent sees only the commands of the popup.
    connect(this, &QPushButton::clicked, this, &CMenuButton::OnClicked);
}

CMenuButton::~CMenuButton() = default;

void CMenuButton::DeletePopups() {
    if (!m_menu) {
        return;
    }
    for (QAction* top : m_menu->actions()) {
        delete top->menu();
    }
}

bool CMenuButton::LoadPopupMenu(int id) {
    const std::vector<res::MenuEntry>& entries = res::FindMenuTemplate(id & 0xFFFF);
    if (entries.empty()) {
        return false;
    }
    auto menu = std::make_unique<QMenu>();
    // The popup is the button's child, so that the desktop places it relative to the button's window.
    auto* popup = new QMenu(this);
    menu->addMenu(popup);
    for (const res::MenuEntry& entry : entries) {
        if (entry.id == 0) {
            popup->addSeparator();
            continue;
        }
        QAction* action = popup->addAction(QString::fromUtf8(entry.text));
        action->setData(entry.id);
    }
    connect(popup, &QMenu::triggered, this, [this, popup](QAction* action) {
        // QAction::trigger() refuses a greyed entry; this guards a picked entry greyed while the menu was
        // open.
        if (!action->isEnabled() || action->isSeparator()) {
            return;
        }
        popup->close();
        emit commandSelected(action->data().toInt());
    });
    DeletePopups();
    m_menu = std::move(menu);
    return true;
}

bool CMenuButton::EnableCommand(int id, bool enable) {
    if (!m_menu) {
        return false;
    }
    bool found = false;
    for (QAction* top : m_menu->actions()) {
        if (!top->menu()) {
            continue;
        }
        for (QAction* action : top->menu()->actions()) {
            if (!action->isSeparator() && action->data().toInt() == id) {
                action->setEnabled(enable);
                found = true;
            }
        }
    }
    return found;
}

QMenu* CMenuButton::SubMenu() const {
    if (!m_menu || m_nSubMenu < 0) {
        return nullptr;
    }
    const QList<QAction*> actions = m_menu->actions();
    if (m_nSubMenu >= actions.size()) {
        return nullptr;
    }
    return actions[m_nSubMenu]->menu();
}

std::optional<QPoint> CMenuButton::PopupPosition() const {
    const QMenu* popup = SubMenu();
    if (!popup) {
        return std::nullopt;
    }
    // The button's rectangle on the screen; right and bottom are the first points past it.
    const QPoint topLeft = mapToGlobal(QPoint(0, 0));
    const int left = topLeft.x();
    const int top = topLeft.y();
    const int right = left + width();
    const int bottom = top + height();
    switch (m_nAlign) {
        case MBA_BELOW:
            return QPoint(left, bottom);
        case MBA_ABOVE:
            return QPoint(left, top - popup->sizeHint().height());
        case MBA_RIGHT:
            return QPoint(right, top);
        default:
            return std::nullopt;
    }
}

void CMenuButton::OnClicked() {
    const std::optional<QPoint> pos = PopupPosition();
    if (!pos) {
        return;
    }
    SubMenu()->popup(*pos);
}
