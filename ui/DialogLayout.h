// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Builds a dialog's controls from its template in res/, in dialog units of the dialog's font, and finds
// them again by control id. User-interface thread only.

#include <functional>

#include <QIcon>
#include <QRect>
#include <QWidget>

#include "res/Resources.h"

class QDialog;

// Makes a custom widget for a control (the tree, the menu button, ...); return null for the default.
using ControlFactory = std::function<QWidget*(const res::ControlTemplate& control, QWidget* parent)>;

// Creates every control of template id as a child of dialog, sets caption and fixed size. Each control's
// objectName is ControlName(id); push buttons with ids 1 and 2 accept and reject the dialog.
void BuildDialog(QDialog* dialog, int templateId, const ControlFactory& factory = {});

// "ctl" + id, e.g. "ctl1020": how code and tests find a control.
QString ControlName(int id);

// The control with that id, or null.
QWidget* GetDlgItem(const QWidget* dialog, int id);
template <class T>
T* DlgItem(const QWidget* dialog, int id) {
    return qobject_cast<T*>(GetDlgItem(dialog, id));
}

// Dialog units to pixels: one unit is a quarter of the font's average character width across and an
// eighth of its height down. Position and size are mapped each on its own, rounded to the nearest pixel.
QRect MapDialogRect(const QWidget* dialog, const QRect& units);

// The pixel size of four horizontal and eight vertical dialog units in font: the average width of
// "A".."Z" "a".."z" (rounded) and the line height.
QSize DialogBaseUnits(const QFont& font);

// The program's icon (resource 128): the SVG with PNG renditions from 16 to 256 pixels, so that it shows
// even where Qt's SVG plugins are not installed.
QIcon ProgramIcon();
