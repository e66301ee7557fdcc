// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application object: answers --version and --help, picks the display, owns the QApplication and
// the process-wide trace log, runs the start-up and yields the exit code. User-interface thread only.

#include <memory>
#include <string>
#include <vector>

class CTraceLog;
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
    // The arguments as the program received them; Qt may take its own options out of argv.
    const std::vector<std::string> m_arguments;
    int& m_argc;
    char** m_argv;
    std::unique_ptr<QApplication> m_app;
    // Reads the trace-log switches at start and writes them back at exit.
    std::unique_ptr<CTraceLog> m_traceLog;
};
