// SPDX-License-Identifier: GPL-3.0-or-later
// The main dialog's window: its controls from template 102, and the handlers of its buttons, tree and
// context menu. User-interface thread only.

#include <QApplication>
#include <QContextMenuEvent>
#include <QWindow>
#include <QLabel>
#include <QDesktopServices>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QThread>
#include <QUrl>

#include "platform/FileSystem.h"
#include "res/Resources.h"
#include "res/Strings.h"
#include "run/ProgressLink.h"
#include "run/RunJob.h"
#include "support/IgnoreList.h"
#include "support/PathUtil.h"
#include "ui/AboutDlg.h"
#include "ui/DialogLayout.h"
#include "ui/DirTreeCtrl.h"
#include "ui/MainDlg.h"
#include "ui/MenuButton.h"
#include "ui/MessageBox.h"
#include "ui/NewDirDlg.h"
#include "ui/SettingsDlg.h"
#include "ui/Text.h"

CMainDlg::CMainDlg(std::vector<std::string> arguments, QWidget* parent)
    : QDialog(parent), m_arguments(std::move(arguments)), m_hIcon(ProgramIcon()) {
    CreateControls();
}

CMainDlg::~CMainDlg() {
    m_pRun.reset();  // waits for the run's thread, which still uses the progress link
    OnDestroy();
}

void CMainDlg::CreateControls() {
    BuildDialog(this, res::IDD_MAIN,
                [this](const res::ControlTemplate& control, QWidget* parent) -> QWidget* {
                    if (control.id == res::IDC_TREE) {
                        m_tree = new CDirTreeCtrl(".exe", true, DTO_NOREDRAW, parent);
                        return m_tree;
                    }
                    if (control.id == res::IDC_START) {
                        m_btnStart = new CMenuButton(parent);
                        m_btnStart->setText(QString::fromUtf8(control.text));
                        return m_btnStart;
                    }
                    return nullptr;
                });
    setWindowFlag(Qt::WindowMinimizeButtonHint, true);
    // Enter does nothing in the main window: Qt would make every button of a dialog a default one, and
    // the focus rests on Quit, so a stray Enter would end the program.
    for (QPushButton* button : findChildren<QPushButton*>()) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    m_edSource = DlgItem<QLineEdit>(this, res::IDC_SOURCE);
    m_edDestination = DlgItem<QLineEdit>(this, res::IDC_DESTINATION);
    // The labels' text on the line of the fields' text: a field centres its text in a box taller than
    // the label's.
    for (QLabel* label : findChildren<QLabel*>()) {
        if (QWidget* field = label->buddy(); field == m_edSource || field == m_edDestination) {
            label->setGeometry(label->x(), field->y(), label->width(), field->height());
            label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        }
    }
    m_tree->setAccessibleName(QStringLiteral("Folders"));
    m_stStatus = DlgItem<QLabel>(this, res::IDC_STATUS);
    m_stStatus->setWordWrap(true);
    // A folder dropped from a file manager becomes the source; the read-only fields would otherwise
    // take the drop as text.
    setAcceptDrops(true);
    m_edSource->setAcceptDrops(false);
    m_edDestination->setAcceptDrops(false);

    connect(m_tree, &QTreeWidget::currentItemChanged, this, [this] { OnSelChangedTree(); });
    connect(m_tree, &QTreeWidget::itemDoubleClicked, this, [this] { OnDblClkTree(); });
    connect(m_btnStart, &CMenuButton::commandSelected, this, [this](int command) {
        switch (command) {
            case res::ID_BACKUP:
                OnBackup();
                break;
            case res::ID_SYNCHRONIZE:
                OnSynchronize();
                break;
            case res::ID_CHECKIN:
                OnCheckIn();
                break;
            case res::ID_CHECKOUT:
                OnCheckOut();
                break;
            default:
                break;
        }
    });
    if (auto* configure = DlgItem<QPushButton>(this, res::IDC_CONFIGURE)) {
        connect(configure, &QPushButton::clicked, this, [this] { OnConfigure(); });
    }
    if (auto* help = DlgItem<QPushButton>(this, res::IDC_HELP)) {
        connect(help, &QPushButton::clicked, this, [this] { OnHelpButton(); });
    }
    // The keyboard's ways to the context menu, wherever the focus is; Qt itself knows only the Menu key,
    // and the read-only fields would offer their own editing menu instead.
    for (const QKeySequence& keys : {QKeySequence(Qt::SHIFT | Qt::Key_F10), QKeySequence(Qt::Key_Menu)}) {
        auto* shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, [this] { ShowContextMenuAtFocus(); });
    }
    SetMessageBoxOwner(this);
    // Whether the person is elsewhere, for the notification at the end of a run: the moment between two
    // windows of the program (the job list closing, the progress window coming back) does not count.
    connect(qApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* window) {
        if (window) {
            m_inactiveSince.invalidate();
        } else if (!m_inactiveSince.isValid()) {
            m_inactiveSince.start();
        }
    });
}

void CMainDlg::ShowSourceAndDestination() {
    // "/" is what no source reads as; the status line says that one is missing.
    m_edSource->setText(m_strSourceDir == "/" ? QString() : FromBytes(m_strSourceDir));
    m_edDestination->setText(FromBytes(m_strDestinationDir));
}

void CMainDlg::ApplyCheckInOutGreying() {
    m_btnStart->EnableCommand(res::ID_CHECKIN, m_bEnableCheckInOut != 0);
    m_btnStart->EnableCommand(res::ID_CHECKOUT, m_bEnableCheckInOut != 0);
}

void CMainDlg::OnSelChangedTree() {
    Q_ASSERT(QThread::currentThread() == thread());
    m_strDestinationDir = GetDestinationDir();
    NormalizeFolder(m_strDestinationDir);
    m_edDestination->setText(FromBytes(m_strDestinationDir));
    CanStart();
}

void CMainDlg::OnDblClkTree() {
    CNewDirDlg dialog(m_strDestinationDir, this);
    dialog.exec();
}

void CMainDlg::OnConfigure() {
    CSettingsDlg dialog(this);
    dialog.m_strIgnore = m_strIgnore;
    dialog.m_strFolderIgnore = m_strFolderIgnore;
    dialog.m_strEffectiveIgnore = m_strEffectiveIgnore;
    dialog.m_bCreateRvx = m_bCreateRvx;
    dialog.m_bEnableCheckInOut = m_bEnableCheckInOut;
    dialog.m_nKeepReplacedDays = m_nKeepReplacedDays;
    if (dialog.exec() == QDialog::Accepted) {
        m_strIgnore = dialog.m_strIgnore;
        m_strFolderIgnore = dialog.m_strFolderIgnore;
        m_strEffectiveIgnore = dialog.m_strEffectiveIgnore;
        m_bCreateRvx = dialog.m_bCreateRvx;
        m_bEnableCheckInOut = dialog.m_bEnableCheckInOut;
        m_nKeepReplacedDays = dialog.m_nKeepReplacedDays;
        ApplyCheckInOutGreying();
    }
}

void CMainDlg::OnHelpButton() {
    // The guide lies beside the program in the build folder, or in the installed data folder (older
    // installations put it with the documentation).
    const std::string folder = platform::ExecutableFolder();
    const std::string prefix = platform::ResolvedFolder(folder + "../");
    const std::string candidates[] = {
        folder,
        prefix + "share/tandrel/",
        prefix + "share/doc/tandrel/",
    };
    std::string lookedIn;
    for (const std::string& candidate : candidates) {
        const std::string path = candidate + res::kHelpFile;
        if (platform::PathExists(path)) {
            if (!QDesktopServices::openUrl(QUrl::fromLocalFile(FromBytes(path)))) {
                MessageBox(
                    "Cannot open the guide " + path + ": no program to show HTML files was found.",
                    kMbOk);
            }
            return;
        }
        lookedIn += "\n" + candidate;
    }
    MessageBox(
        std::string("Cannot find the guide \"") + res::kHelpFile + "\". Looked in:" + lookedIn,
        kMbOk);
}

void CMainDlg::OnOK() {
    // Enter lands on the hidden default button: the help window is the browser's, so nothing to close.
}

void CMainDlg::OnCancel() {
    OnOK();
    QDialog::reject();
}

void CMainDlg::accept() {
    OnOK();
}

void CMainDlg::reject() {
    if (m_bRunActive) {
        return;  // the run's thread still uses this dialog
    }
    OnCancel();
}

void CMainDlg::contextMenuEvent(QContextMenuEvent* event) {
    QTreeWidgetItem* item = nullptr;
    const QPoint onTree = m_tree->viewport()->mapFromGlobal(event->globalPos());
    if (m_tree->viewport()->rect().contains(onTree)) {
        item = m_tree->itemAt(onTree);
    }
    ShowContextMenu(event->globalPos(), item);
}

void CMainDlg::ShowContextMenu(const QPoint& globalPos, QTreeWidgetItem* treeItem) {
    QMenu menu(this);
    const std::string folder = treeItem ? m_tree->GetItemPath(treeItem) : std::string();
    QAction* source = nullptr;
    if (!folder.empty()) {
        source = menu.addAction(QString::fromUtf8(res::kUseAsSource));
        source->setEnabled(!m_bRunActive);
        menu.addSeparator();
    }
    QAction* about = menu.addAction(QString::fromUtf8(res::kAboutMenuEntry));
    QAction* chosen = menu.exec(globalPos);
    if (chosen == about) {
        OnAbout();
    } else if (chosen && chosen == source) {
        SetSourceFolder(folder);
    }
}

void CMainDlg::ShowContextMenuAtFocus() {
    QWidget* focus = focusWidget();
    if (!focus) {
        focus = this;
    }
    QPoint local = focus->rect().center();
    QTreeWidgetItem* item = nullptr;
    if (focus == m_tree && m_tree->currentItem()) {
        item = m_tree->currentItem();
        const QRect row = m_tree->visualItemRect(item);
        focus = m_tree->viewport();
        local = QPoint(row.left() + row.height(), row.center().y());
    }
    ShowContextMenu(focus->mapToGlobal(local), item);
}

void CMainDlg::OnAbout() {
    CAboutDlg dialog(this);
    dialog.exec();
}

void CMainDlg::OnDestroy() {
    if (m_bDestroyed) {
        return;
    }
    m_bDestroyed = true;
    ExchangeSettings(1);
}
