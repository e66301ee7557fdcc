// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ModelessDlg.h"

#include "ui/DialogLayout.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

CModelessDlg::CModelessDlg(int templateId) : QDialog(nullptr) {
    BuildDialog(this, templateId);
    // The templates place the window at 0, 0 and it has no owner: the top-left corner of the screen's
    // usable area, set before showing so the window does not jump.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().topLeft());
    }
    // Shown, then raised to the top of the window order and activated, as one step of its opening: the
    // run's progress window must be in front before the worker thread reports anything.
    show();
    raise();
    activateWindow();
}

CModelessDlg::~CModelessDlg() = default;

void CModelessDlg::DestroyWindow() {
    if (m_bDestroyed) {
        return;
    }
    m_bDestroyed = true;
    // Gone from the screen first, as a destroyed window is, so that whatever OnDestroy enables is never
    // usable beside a window still showing.
    hide();
    OnDestroy();
    // Deferred: DestroyWindow may run inside one of this object's own slots or event handlers.
    deleteLater();
}

void CModelessDlg::done(int result) {
    if (result == QDialog::Accepted) {
        OnOK();
    } else {
        OnCancel();
    }
}

void CModelessDlg::OnOK() {
    DestroyWindow();
}

void CModelessDlg::OnCancel() {
    DestroyWindow();
}

void CModelessDlg::keyPressEvent(QKeyEvent* event) {
    const bool plainKey = event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier;
    if (plainKey && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        // QDialog ignores Enter when no push button is the default one; a dialog takes it as OK then.
        const auto buttons = findChildren<QPushButton*>();
        const bool handledByButton =
            std::any_of(buttons.begin(), buttons.end(), [](const QPushButton* button) {
                return button->isVisible() &&
                       (button->isDefault() || (button->autoDefault() && button->hasFocus()));
            });
        if (!handledByButton) {
            event->accept();
            OnOK();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}
