// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MessageBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QPointer>
#include <QShortcut>
#include <QThread>

#include "platform/Terminal.h"
#include "support/Mutex.h"

namespace {

CMutex g_hookMutex;
MessageBoxHook g_hook GUARDED_BY(g_hookMutex);
QPointer<QWidget> g_owner;  // user-interface thread only
bool g_headless = false;

int ShowOnUiThread(const std::string& text, unsigned type) {
    QMessageBox box(g_owner.data());
    box.setWindowTitle(QStringLiteral("Tandrel"));  // as every window of the program
    // Messages carry file names: never read them as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())));
    box.setIcon((type & 0xF0) == kMbIconHand ? QMessageBox::Critical : QMessageBox::NoIcon);
    if ((type & 0x0F) == kMbOkCancel) {
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    box.setDefaultButton(QMessageBox::Ok);
    // Ctrl+C copies the whole box, as users of the old program could, to paste a message into a report.
    auto* copy = new QShortcut(QKeySequence::Copy, &box);
    QObject::connect(copy, &QShortcut::activated, &box, [&box] {
        const QString rule = QStringLiteral("---------------------------\n");
        QString buttons;
        for (const QAbstractButton* button : box.buttons()) {
            buttons += button->text().remove(u'&') + QStringLiteral("   ");
        }
        QGuiApplication::clipboard()->setText(rule + box.windowTitle() + u'\n' + rule + box.text() + u'\n' +
                                              rule + buttons + u'\n' + rule);
    });
    return box.exec() == QMessageBox::Ok ? kIdOk : kIdCancel;
}

}  // namespace

int MessageBox(const std::string& text, unsigned type) {
    MessageBoxHook hook;
    {
        CMutexLock lock(g_hookMutex);
        hook = g_hook;
    }
    if (hook) {
        return hook(text, type);
    }
    if (g_headless || !qApp) {
        platform::PrintMessage(text);
        return kIdOk;
    }
    if (QThread::currentThread() == qApp->thread()) {
        return ShowOnUiThread(text, type);
    }
    // The box belongs to the user-interface thread; the calling thread waits for the answer there.
    int answer = kIdOk;
    QMetaObject::invokeMethod(
        qApp, [&] { answer = ShowOnUiThread(text, type); }, Qt::BlockingQueuedConnection);
    return answer;
}

void SetMessageBoxHook(MessageBoxHook hook) {
    CMutexLock lock(g_hookMutex);
    g_hook = std::move(hook);
}

void SetMessageBoxOwner(QWidget* owner) {
    g_owner = owner;
}

bool IsHeadless() {
    return g_headless;
}

void SetHeadless(bool headless) {
    g_headless = headless;
}
