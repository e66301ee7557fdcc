// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared pieces of the main dialog's tests: recording message boxes, answering the job list, and a
// source/destination pair of trees. Test thread (the user-interface thread) only.

#include <string>
#include <vector>

#include "ui/MessageBox.h"
#include "tests/TestSupport.h"
#include "ui/JobListDlg.h"
#include "ui/MainDlg.h"
#include "ui/MenuButton.h"

namespace main_dlg_test {

// Collects every message box text instead of showing it, answering OK.
class CBoxRecorder {
  public:
    CBoxRecorder() {
        SetMessageBoxHook([this](const std::string& text, unsigned type) {
            texts.push_back(text);
            types.push_back(type);
            return kIdOk;
        });
    }
    ~CBoxRecorder() { SetMessageBoxHook({}); }
    CBoxRecorder(const CBoxRecorder&) = delete;
    CBoxRecorder& operator=(const CBoxRecorder&) = delete;
    std::vector<std::string> texts;
    std::vector<unsigned> types;
};

// Answers every job list with a fixed result and remembers what it showed.
class CJobListAnswer {
  public:
    explicit CJobListAnswer(int answer) {
        CMainDlg::TestSetJobListAnswer([this, answer](CJobListDlg& dialog) {
            captions.push_back(dialog.windowTitle().toStdString());
            return answer;
        });
    }
    ~CJobListAnswer() { CMainDlg::TestSetJobListAnswer({}); }
    CJobListAnswer(const CJobListAnswer&) = delete;
    CJobListAnswer& operator=(const CJobListAnswer&) = delete;
    std::vector<std::string> captions;
};

// src/<name> and dst/<name> under a temporary folder, both existing.
struct CTreePair {
    explicit CTreePair(const std::string& name = "Data")
        : source(dir / ("src/" + name)), destination(dir / ("dst/" + name)) {
        testing_support::MakeFolder(source);
        testing_support::MakeFolder(destination);
    }
    testing_support::CTempDir dir;
    std::string source;       // without a trailing "/"
    std::string destination;  // without a trailing "/"
};

}  // namespace main_dlg_test
