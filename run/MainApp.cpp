// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/MainApp.h"

#include <cstdio>

#include <QApplication>

#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/Signals.h"
#include "res/Resources.h"
#include "res/Strings.h"
#include "run/CommandLine.h"
#include "support/TraceLog.h"
#include "ui/MainDlg.h"
#include "ui/UsageDlg.h"

namespace {

// Headless runs come from cron and scripts: Qt's own warnings (a missing XDG_RUNTIME_DIR, say) would land
// in every cron mail. They go to the debugger output channel instead.
void QuietMessageHandler(QtMsgType /*type*/, const QMessageLogContext& /*context*/, const QString& message) {
    platform::DebugOutput(message.toLocal8Bit().toStdString());
}

bool HasOption(const std::vector<std::string>& arguments, std::initializer_list<const char*> spellings) {
    for (size_t i = 1; i < arguments.size(); ++i) {
        for (const char* spelling : spellings) {
            if (EqualsNoCase(arguments[i], spelling)) {
                return true;
            }
        }
    }
    return false;
}

// Answers "--version" and "--help" in the order given; false when neither is given. Asked from scripts
// and terminals: no display, settings file or date guard stands in the way.
bool AnswerAtOnce(const std::vector<std::string>& arguments) {
    bool answered = false;
    for (size_t i = 1; i < arguments.size(); ++i) {
        if (EqualsNoCase(arguments[i], "--version")) {
            std::printf("%s\n", res::kVersionLine);
            answered = true;
        } else if (EqualsNoCase(arguments[i], "--help") || EqualsNoCase(arguments[i], "-h")) {
            PrintUsage();
            answered = true;
        }
    }
    return answered;
}

}  // namespace

CMainApp::CMainApp(int& argc, char** argv) : m_arguments(argv, argv + argc), m_argc(argc), m_argv(argv) {}

CMainApp::~CMainApp() = default;

int CMainApp::Run() {
    if (AnswerAtOnce(m_arguments)) {
        return std::fflush(stdout) == 0 ? 0 : 1;  // a full disk or closed pipe is no answer
    }
    // An unattended run ends without the main window, so it can do without a display.
    const bool windowless = HasOption(m_arguments, {"/!backup", "/!b", "/!synchronize", "/!s"}) &&
                            HasOption(m_arguments, {"/!quit", "/!q"});
    if (windowless) {
        platform::CatchStopSignals();  // from the start: a Ctrl-C while Qt starts up stops the run too
    }
    if (platform::SelectQtPlatform(windowless) == platform::DisplayState::CannotOpen) {
        const std::string display = "cannot open display " + platform::NamedDisplay();
        if (!platform::IsHeadless()) {
            platform::PrintMessage(display + " for the main window");
            return 1;
        }
        platform::PrintMessage(display + ", running without a window");
    }
    if (platform::IsHeadless()) {
        qInstallMessageHandler(QuietMessageHandler);
    }
    m_app = std::make_unique<QApplication>(m_argc, m_argv);
    // Lets the desktop match the window with its launcher entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tandrel.Tandrel"));
    m_traceLog = std::make_unique<CTraceLog>(res::kTraceLogFile);
    InitInstance();
    return m_nExitCode;
}

bool CMainApp::InitInstance() {
    CMainDlg dialog(m_arguments);
    m_nExitCode = dialog.DoModal();
    return false;
}
