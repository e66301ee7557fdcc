#include "run/MainApp.h"

#include <QApplication>

#include "platform/MessageBox.h"

CMainApp::CMainApp(int& argc, char** argv) {
    platform::SelectQtPlatform();
    m_app = std::make_unique<QApplication>(argc, argv);
}

CMainApp::~CMainApp() = default;

int CMainApp::Run() {
    InitInstance();
    return m_nExitCode;
}

bool CMainApp::InitInstance() {
    return false;
}
