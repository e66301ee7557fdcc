// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/MainApp.h"

#include <cstdio>

#include <QApplication>

#include "platform/Display.h"
#include "platform/FileSystem.h"
#include "platform/Signals.h"
#include "platform/Terminal.h"
#include "res/Resources.h"
#include "res/Strings.h"
#include "run/CommandLine.h"
#include "run/Display.h"
#include "support/TraceLog.h"
#include "ui/MainDlg.h"
#include "ui/MessageBox.h"
#include "ui/UsageDlg.h"

namespace {

// Headless runs come from cron and scripts: Qt's own warnings (a missing XDG_RUNTIME_DIR, say) would land
// in every cron mail. They go to the debugger output channel instead.
void QuietMessageHandler(QtMsgType /*type*/, const QMessageLogContext& /*context*/, const QString& message) {
    platform::DebugOutput(message.toLocal8Bit().toStdString() + "\n");
}

}  // namespace

CMainApp::CMainApp(int& argc, char** argv) : m_arguments(argv, argv + argc), m_argc(argc), m_argv(argv) {}

CMainApp::~CMainApp() = default;

int CMainApp::Run() {
    platform::IgnoreBrokenPipes();
    switch (AnswerAtOnce(m_arguments)) {
        case AtOnce::Version:
            std::printf("%s\n", res::kVersionLine);
            return std::fflush(stdout) == 0 ? 0 : 1;  // a full disk or closed pipe is no answer
        case AtOnce::Help:
            PrintUsage();
            return std::fflush(stdout) == 0 ? 0 : 1;
        case AtOnce::No:
            break;
    }
    const DisplayNeed need = DisplayNeedOf(m_arguments);
    if (need != DisplayNeed::Window) {
        platform::CatchStopSignals();  // from the start: a Ctrl-C while Qt starts up stops the run too
    }
    const DisplayState display = SelectQtPlatform(need);
    if (display == DisplayState::CannotOpen || display == DisplayState::NoAnswer) {
        const std::string what = display == DisplayState::NoAnswer
                                     ? "display " + platform::NamedDisplay() + " does not answer within " +
                                           std::to_string(platform::kDisplayAnswerSeconds) + " s"
                                     : "cannot open display " + platform::NamedDisplay();
        if (!IsHeadless()) {
            platform::PrintMessage(what + " for the main window");
            return 1;
        }
        platform::PrintMessage(what + ", running without a window");
    }
    if (IsHeadless()) {
        qInstallMessageHandler(QuietMessageHandler);
    }
    m_app = std::make_unique<QApplication>(m_argc, m_argv);
    // Lets the desktop match the window with its launcher entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tandrel.Tandrel"));
    // Settings and logs in a folder another user controls would steer or spy on the runs: stop first.
    for (const std::string& folder : {platform::ConfigFolder(), platform::StateFolder()}) {
        if (!platform::IsOwnFolderOrMissing(folder)) {
            MessageBox(folder + res::kForeignFolder, kMbIconHand);
            return 1;
        }
    }
    m_traceLog = std::make_unique<CTraceLog>(res::kTraceLogFile);
    // The program ends when the main dialog, run modally, ends.
    CMainDlg dialog(m_arguments);
    return dialog.DoModal();
}
