// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's ways to choose the source folder (the tree's context menu, a folder dropped from a
// file manager) and its status line, which says why Start is disabled. User-interface thread only.

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QUrl>

#include "platform/FileSystem.h"
#include "support/PathUtil.h"
#include "ui/DirTreeCtrl.h"
#include "ui/MainDlg.h"
#include "ui/MenuButton.h"
#include "ui/Text.h"

std::string CMainDlg::DroppedFolder(const QMimeData* mime) {
    if (!mime || !mime->hasUrls() || mime->urls().size() != 1 || !mime->urls().front().isLocalFile()) {
        return {};
    }
    // The bytes of the name, not its display text: a name that is not valid UTF-8 comes percent-encoded.
    std::string path =
        QByteArray::fromPercentEncoding(mime->urls().front().path(QUrl::FullyEncoded).toLatin1())
            .toStdString();
    NormalizeFolder(path);
    // With the trailing "/" only a folder (or a link to one) exists.
    return platform::PathExists(path) ? path : std::string();
}

void CMainDlg::SetSourceFolder(const std::string& folder) {
    if (m_bRunActive || IsAutoRun() || folder.empty()) {
        return;  // neither folder may change under a run
    }
    m_strSourceDir = platform::ResolvedFolder(folder);
    NormalizeFolder(m_strSourceDir);
    // The folder's own settings file, as at start-up: its ignore list, and the destination it names.
    m_strDestinationDir.clear();
    ReadFolderFile();
    std::string named = platform::ResolvedFolder(m_strDestinationDir);
    if (!named.empty() && platform::PathExists(named)) {
        (void)m_tree->SelectPath(named);
    }
    m_strDestinationDir = GetDestinationDir();
    NormalizeFolder(m_strDestinationDir);
    ShowSourceAndDestination();
    CanStart();
}

void CMainDlg::ShowStartHint(const std::string& hint) {
    const QString text = FromBytes(hint);
    m_stStatus->setText(text);
    m_btnStart->setToolTip(text);
}

void CMainDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (!m_bRunActive && !DroppedFolder(event->mimeData()).empty()) {
        event->acceptProposedAction();
    }
}

void CMainDlg::dropEvent(QDropEvent* event) {
    const std::string folder = DroppedFolder(event->mimeData());
    if (folder.empty()) {
        return;
    }
    event->acceptProposedAction();
    SetSourceFolder(folder);
}
