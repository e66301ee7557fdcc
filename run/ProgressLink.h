// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The engine's progress interface for a run's progress window (CProgressDlg). Any thread: calls from the
// run's worker thread are handed to the user-interface thread and never touch a widget here; calls on the
// user-interface thread apply at once. Once the window is gone (closed early with Enter or Esc, or by
// Close) every call is dropped.

#include <memory>
#include <string>

#include "engine/Progress.h"

class CProgressDlg;

class CProgressLink final : public IProgress {
  public:
    // Requires: called on the user-interface thread, with window alive or null (null: every call is
    // dropped).
    explicit CProgressLink(CProgressDlg* window);
    ~CProgressLink() override;
    CProgressLink(const CProgressLink&) = delete;
    CProgressLink& operator=(const CProgressLink&) = delete;

    void SetRange(int low, int high) override;
    void SetPos(int pos) override;
    void SetStatus(const std::string& text) override;
    void SetCaption(const std::string& text) override;

    // Closes the window after every update given before; later calls are dropped. Nothing when the window
    // is already gone. Never waits for the user-interface thread.
    void Close();

    // Shows every update given so far before returning (from another thread it waits for the
    // user-interface thread): for the moment a message box or the job list comes up over the window.
    void Flush();

    // True while the window may still exist (false once it is known to be gone or Close was called).
    bool IsOpen() const;

    // The state shared with the updates queued to the user-interface thread (defined in the .cpp).
    struct Shared;

  private:
    // Shared with the updates posted to the user-interface thread, which may run after this object is gone.
    const std::shared_ptr<Shared> m_pShared;
};
