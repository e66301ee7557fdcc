#pragma once
// The application object: owns the QApplication, runs the start-up and yields the exit code.
// User-interface thread only.

#include <memory>

class QApplication;

class CMainApp final {
public:
    CMainApp(int& argc, char** argv);
    ~CMainApp();
    CMainApp(const CMainApp&) = delete;
    CMainApp& operator=(const CMainApp&) = delete;

    // Runs the start-up and the main dialog; returns the process's exit code.
    int Run();

private:
    // Start-up: the help-file path, then the main dialog, run modally. Returns false: the program ends
    // when the dialog ends.
    bool InitInstance();

    std::unique_ptr<QApplication> m_app;
    int m_nExitCode = 0;
};
