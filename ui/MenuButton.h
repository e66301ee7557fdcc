// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A push button that drops down a popup menu next to itself instead of issuing a command of its own; the
// entry the user picks reaches the parent as a command. User-interface thread only.

#include <memory>
#include <optional>

#include <QPoint>
#include <QPushButton>

class QMenu;

// Where the popup is shown, relative to the button.
inline constexpr int MBA_BELOW = 0;  // top-left corner at the button's bottom-left corner
inline constexpr int MBA_ABOVE = 1;  // bottom edge on the button's top edge, left edges aligned
inline constexpr int MBA_RIGHT = 2;  // top-left corner at the button's top-right corner

class CMenuButton : public QPushButton {
    Q_OBJECT

  public:
    explicit CMenuButton(QWidget* parent = nullptr);
    ~CMenuButton() override;

    // Builds the menu from the menu template id (only its low 16 bits count): one popup holding the
    // template's entries, each carrying its command id, with a separator for id 0. On success the previous
    // menu is replaced; on failure (no such template) it is kept and false is returned.
    bool LoadPopupMenu(int id);

    // Greys (false) or enables an entry by its command id; false when no entry has that id.
    bool EnableCommand(int id, bool enable);

    // The popup at position m_nSubMenu of the loaded menu, or null (no menu, or no such popup).
    QMenu* SubMenu() const;

    // Where OnClicked shows the popup, in global coordinates; nothing when no popup would be shown
    // (no popup at m_nSubMenu, or an unknown alignment).
    std::optional<QPoint> PopupPosition() const;

    // The loaded menu: its entries are the popups (null until LoadPopupMenu succeeded).
    std::unique_ptr<QMenu> m_menu;
    int m_nAlign = MBA_BELOW;  // MBA_BELOW, MBA_ABOVE or MBA_RIGHT
    int m_nSubMenu = 0;        // position, within m_menu, of the popup that is shown

  signals:
    // A picked entry: the Qt form of the command message the parent window receives from a menu. A
    // dismissed popup and a greyed entry send nothing.
    void commandSelected(int id);

  public slots:
    // Shows the popup at PopupPosition() without blocking; the popup grabs mouse and keyboard until an
    // entry is picked or it is dismissed.
    void OnClicked();

  private:
    // Deletes the popups of m_menu (they are children of the button, not of the menu).
    void DeletePopups();
};
