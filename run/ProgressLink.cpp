// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/ProgressLink.h"

#include "support/Mutex.h"
#include "ui/ProgressDlg.h"
#include "ui/Text.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QString>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <optional>
#include <utility>
#include <vector>

struct CProgressLink::Shared {
    // One change of the bar. Ranges are kept in order with the positions around them: a position given
    // before a range change is judged against the old range, as it would have been on the spot.
    struct BarOp {
        bool m_bRange;
        int m_nLow;  // the position when !m_bRange
        int m_nHigh;
    };

    explicit Shared(CProgressDlg* window)
        : m_pUiThread(window ? window->thread() : nullptr), m_pWindow(window) {}

    QThread* const m_pUiThread;
    // Read only on the user-interface thread.
    const QPointer<CProgressDlg> m_pWindow;

    mutable CMutex m_mutex;
    // Updates not yet applied, guarded by m_mutex. Between two ranges only the latest position is kept,
    // and only the latest status and caption: what the window finally shows is the same as if every call
    // had been applied one by one, at one queued event per batch instead of one round trip per call.
    std::vector<BarOp> m_bar GUARDED_BY(m_mutex);
    std::optional<std::string> m_status GUARDED_BY(m_mutex);
    std::optional<std::string> m_caption GUARDED_BY(m_mutex);
    bool m_bPosted GUARDED_BY(m_mutex) = false;  // a drain is queued on the user-interface thread
    bool m_bCloseRequested GUARDED_BY(m_mutex) = false;
    bool m_bGone GUARDED_BY(m_mutex) = false;  // the window is gone or being closed: drop everything
};

namespace {

constexpr std::chrono::milliseconds kDrainInterval(30);

using Shared = CProgressLink::Shared;

bool OnUiThread(const Shared& shared) {
    return QThread::currentThread() == shared.m_pUiThread;
}

// Applies every pending update to the window. User-interface thread only.
void Drain(const std::shared_ptr<Shared>& shared, bool fromPost) {
    std::vector<Shared::BarOp> bar;
    std::optional<std::string> status;
    std::optional<std::string> caption;
    bool close = false;
    bool any = false;
    {
        CMutexLock lock(shared->m_mutex);
        bar.swap(shared->m_bar);
        status.swap(shared->m_status);
        caption.swap(shared->m_caption);
        close = shared->m_bCloseRequested;
        shared->m_bCloseRequested = false;
        any = !bar.empty() || status || caption || close;
        if (fromPost && !any) {
            shared->m_bPosted = false;  // quiet again: the next update is shown at once
        }
    }
    CProgressDlg* window = shared->m_pWindow.data();
    if (!window || window->IsDestroyed()) {
        CMutexLock lock(shared->m_mutex);
        shared->m_bGone = true;
        return;
    }
    for (const Shared::BarOp& op : bar) {
        if (op.m_bRange) {
            window->SetRange(op.m_nLow, op.m_nHigh);
        } else {
            window->SetPos(op.m_nLow);
        }
    }
    if (caption) {
        window->SetCaption(FromBytes(*caption));
    }
    if (status) {
        window->SetStatus(FromBytes(*status));
    }
    if (close) {
        window->DestroyWindow();
        return;
    }
    if (fromPost && any) {
        // A busy run updates the window a few dozen times a second, not once per file: repainting for
        // every file would slow the run down by half. The next drain picks up what came meanwhile.
        QTimer::singleShot(kDrainInterval, QCoreApplication::instance(), [shared] { Drain(shared, true); });
    }
}

void Post(const std::shared_ptr<Shared>& shared) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        return;
    }
    // The application object lives on the user-interface thread for the whole program; the window itself
    // may be deleted at any moment, so it is looked at only inside the queued call.
    QMetaObject::invokeMethod(
        app, [shared] { Drain(shared, true); }, Qt::QueuedConnection);
}

// Records one update under the lock (change runs holding it: it says so with AssertHeld, which the
// analysis cannot see through the call), then hands it on: at once on the user-interface thread, otherwise
// through at most one queued drain at a time.
template <class Change>
void Deliver(const std::shared_ptr<Shared>& shared, Change&& change, bool close = false) {
    const bool onUi = OnUiThread(*shared);
    bool post = false;
    {
        CMutexLock lock(shared->m_mutex);
        if (shared->m_bGone) {
            return;
        }
        change(*shared);
        if (close) {
            shared->m_bCloseRequested = true;
            shared->m_bGone = true;  // nothing given after Close reaches the window
        }
        if (!onUi && !shared->m_bPosted) {
            shared->m_bPosted = true;
            post = true;
        }
    }
    if (onUi) {
        Drain(shared, false);
    } else if (post) {
        Post(shared);
    }
}

}  // namespace

CProgressLink::CProgressLink(CProgressDlg* window) : m_pShared(std::make_shared<Shared>(window)) {
    if (!window) {
        CMutexLock lock(m_pShared->m_mutex);
        m_pShared->m_bGone = true;
        return;
    }
    Q_ASSERT(QThread::currentThread() == window->thread());
    // Learn of an early close at once, so the worker stops queueing updates nobody will see.
    std::weak_ptr<Shared> weak = m_pShared;
    QObject::connect(window, &QObject::destroyed, [weak] {
        if (auto shared = weak.lock()) {
            CMutexLock lock(shared->m_mutex);
            shared->m_bGone = true;
        }
    });
}

CProgressLink::~CProgressLink() = default;

void CProgressLink::SetRange(int low, int high) {
    Deliver(m_pShared, [&](Shared& s) {
        s.m_mutex.AssertHeld();
        s.m_bar.push_back({true, low, high});
    });
}

void CProgressLink::SetPos(int pos) {
    Deliver(m_pShared, [&](Shared& s) {
        s.m_mutex.AssertHeld();
        if (!s.m_bar.empty() && !s.m_bar.back().m_bRange) {
            s.m_bar.back().m_nLow = pos;
        } else {
            s.m_bar.push_back({false, pos, 0});
        }
    });
}

void CProgressLink::SetStatus(const std::string& text) {
    Deliver(m_pShared, [&](Shared& s) {
        s.m_mutex.AssertHeld();
        s.m_status = text;
    });
}

void CProgressLink::SetCaption(const std::string& text) {
    Deliver(m_pShared, [&](Shared& s) {
        s.m_mutex.AssertHeld();
        s.m_caption = text;
    });
}

void CProgressLink::Close() {
    Deliver(
        m_pShared, [](Shared&) {}, true);
}

void CProgressLink::Flush() {
    if (OnUiThread(*m_pShared)) {
        Drain(m_pShared, false);
        return;
    }
    if (QCoreApplication* app = QCoreApplication::instance()) {
        std::shared_ptr<Shared> shared = m_pShared;
        QMetaObject::invokeMethod(
            app, [shared] { Drain(shared, false); }, Qt::BlockingQueuedConnection);
    }
}

bool CProgressLink::IsOpen() const {
    CMutexLock lock(m_pShared->m_mutex);
    return !m_pShared->m_bGone;
}
