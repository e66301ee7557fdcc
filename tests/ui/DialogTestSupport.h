// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Driving modal dialogs in tests: act on the dialog once its modal loop runs, then make sure it ends.
// Test thread (the user-interface thread) only.

#include <functional>

#include <QDialog>
#include <QTimer>

namespace testing_support {

// Runs dialog modally; act runs inside the modal loop. Should the dialog still be open afterwards it is
// ended with code -1, so a failing expectation never leaves a test hanging. Returns exec()'s result.
inline int RunModal(QDialog& dialog, const std::function<void()>& act) {
    QTimer::singleShot(0, &dialog, [&dialog, act] {
        act();
        if (dialog.isVisible()) {
            dialog.done(-1);
        }
    });
    return dialog.exec();
}

}  // namespace testing_support
