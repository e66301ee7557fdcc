#include "run/MainApp.h"

#include <QApplication>

#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "res/Strings.h"
#include "support/TraceLog.h"
#include "ui/MainDlg.h"

namespace {

// Headless runs come from cron and scripts: Qt's own warnings (a missing XDG_RUNTIME_DIR, say) would land
// in every cron mail. They go to the debugger output channel instead.
void QuietMessageHandler(QtMsgType /*type*/, const QMessageLogContext& /*context*/, const QString& message) {
    platform::DebugOutput(message.toLocal8Bit().toStdString());
}

}  // namespace

CMainApp::CMainApp(int& argc, char** argv) : m_arguments(argv, argv + argc) {
    platform::SelectQtPlatform();
    if (platform::IsHeadless()) {
        qInstallMessageHandler(QuietMessageHandler);
    }
    m_app = std::make_unique<QApplication>(argc, argv);
    // Lets the desktop match the window with its launcher entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tandrel.Tandrel"));
    m_traceLog = std::make_unique<CTraceLog>(res::kTraceLogFile);
}

CMainApp::~CMainApp() = default;

int CMainApp::Run() {
    InitInstance();
    return m_nExitCode;
}

bool CMainApp::InitInstance() {
    CMainDlg dialog(m_arguments);
    m_nExitCode = dialog.DoModal();
    return false;
}
