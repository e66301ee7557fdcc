// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/DirTreeCtrl.h"

#include "platform/FileSystem.h"
#include "support/NameOrder.h"
#include "support/PathUtil.h"
#include "ui/TreeSources.h"

#include <QDir>
#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QMimeDatabase>
#include <QToolTip>

#include <algorithm>
#include <memory>
#include <utility>

namespace {

// Raw bytes of the entry's name (a mount point for a volume); the label is for display only.
constexpr int kNameRole = Qt::UserRole;
const char* const kDrivesLabel = "Drives";

struct FolderListing {
    bool ok = false;
    std::vector<platform::DirEntry> entries;
    std::vector<bool> hasSubfolder;  // per entry, filled only when asked for
};

QByteArray NameBytes(QTreeWidgetItem* item) {
    return item->data(0, kNameRole).toByteArray();
}

std::string LastComponent(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

QIcon FolderIconWithOpenState(const QFileIconProvider& provider, const QStyle* style) {
    const QIcon closed = provider.icon(QFileIconProvider::Folder);
    const QIcon open = style->standardIcon(QStyle::SP_DirOpenIcon);
    if (open.isNull() || closed.isNull()) {
        return closed;
    }
    // The view draws a selected item in the Selected mode: the open folder, as the old tree did.
    QIcon combined;
    for (const int size : {16, 22, 24, 32}) {
        combined.addPixmap(closed.pixmap(size), QIcon::Normal);
        combined.addPixmap(open.pixmap(size), QIcon::Selected);
    }
    return combined;
}

}  // namespace

CDirTreeCtrl::CDirTreeCtrl(const std::string& fileSuffix, bool hideFiles, uint16_t options, QWidget* parent)
    : QTreeWidget(parent),
      m_strFileSuffix(fileSuffix),
      m_bHideFiles(hideFiles),
      m_wOptions(options),
      m_folderReader(&platform::ListFolder) {
    setColumnCount(1);
    setHeaderHidden(true);
    setSortingEnabled(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setRootIsDecorated(true);
    setUniformRowHeights(true);  // keeps opening a folder of thousands of entries cheap
    // Deep folders and long names scroll sideways instead of being cut at the right edge.
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    connect(this, &QTreeWidget::itemExpanded, this, &CDirTreeCtrl::OnItemExpanded);
    connect(this, &QTreeWidget::itemCollapsed, this, &CDirTreeCtrl::OnItemCollapsed);
}

CDirTreeCtrl::~CDirTreeCtrl() = default;

void CDirTreeCtrl::SetOptions(bool hideFiles, uint16_t options) {
    m_bHideFiles = hideFiles;
    m_wOptions = options;
}

void CDirTreeCtrl::Initialize(bool deleteAll) {
    if (deleteAll) {
        clear();
        m_pDrivesItem = nullptr;
        m_pDesktopItem = nullptr;
        m_driveStrings.clear();
    }
    m_strDesktopPath = DesktopFolder();

    const QFileIconProvider provider;
    m_folderIcon = FolderIconWithOpenState(provider, style());
    m_fileIcon = provider.icon(QFileIconProvider::File);
    m_fileIconsByMime.clear();

    m_pDrivesItem = InsertTreeItem(QString::fromLatin1(kDrivesLabel), QByteArray(), nullptr, true,
                                   provider.icon(QFileIconProvider::Computer));
    m_pDesktopItem = InsertShellItem(m_strDesktopPath.empty() ? "/" : m_strDesktopPath, nullptr, true,
                                     provider.icon(QFileIconProvider::Desktop));
}

std::string CDirTreeCtrl::GetSelectedPath() {
    QTreeWidgetItem* item = currentItem();
    if (!item) {
        return std::string();
    }
    scrollToItem(item);
    return GetItemPath(item);
}

std::string CDirTreeCtrl::GetItemPath(QTreeWidgetItem* item) const {
    if (!item || item->text(0).isEmpty()) {
        return std::string();
    }
    return BuildItemPath(item, std::string());
}

std::string CDirTreeCtrl::BuildItemPath(QTreeWidgetItem* item, std::string suffix) const {
    if (item == m_pDrivesItem) {
        return std::string();
    }
    QTreeWidgetItem* parent = item->parent();
    if (parent && parent == m_pDrivesItem) {
        const int index = parent->indexOfChild(item);
        if (index < 0 || static_cast<size_t>(index) >= m_driveStrings.size()) {
            return std::string();
        }
        return m_driveStrings[static_cast<size_t>(index)] + suffix;
    }
    if (item == m_pDesktopItem) {
        return m_strDesktopPath + "/" + suffix;
    }
    if (!parent) {
        return suffix;  // a root that is neither of ours; cannot happen while the tree is ours alone
    }
    const QByteArray name = NameBytes(item);
    if (!name.isEmpty()) {
        suffix = name.toStdString() + "/" + suffix;
    }
    suffix = BuildItemPath(parent, std::move(suffix));
    if (item->childCount() == 0 && !suffix.empty()) {
        suffix.pop_back();
    }
    return suffix;
}

bool CDirTreeCtrl::SelectPath(const std::string& path) {
    if (!m_pDrivesItem) {
        return false;
    }
    const bool updatesWereOn = updatesEnabled();
    setUpdatesEnabled(false);
    const auto finish = [&](bool found, QTreeWidgetItem* item) {
        if (found) {
            setCurrentItem(item);
        }
        setUpdatesEnabled(updatesWereOn);
        return found;
    };

    QTreeWidgetItem* current = m_pDrivesItem;
    current->setExpanded(true);
    if (path.empty()) {
        return finish(true, current);
    }

    // The longest mount point that begins the path, compared whole folder names at a time.
    const std::string withSlash = path + "/";
    const std::string* best = nullptr;
    for (const std::string& drive : m_driveStrings) {
        if (withSlash.compare(0, drive.size(), drive) == 0 && (!best || drive.size() > best->size())) {
            best = &drive;
        }
    }
    if (!best) {
        return finish(false, nullptr);
    }
    const std::string rest = path.substr(std::min(best->size(), path.size()));
    current = FindChildItem(current, *best);
    if (!current) {
        return finish(false, nullptr);
    }
    current->setExpanded(true);

    size_t start = 0;
    while (start < rest.size()) {
        size_t end = rest.find('/', start);
        if (end == std::string::npos) {
            end = rest.size();
        }
        if (end > start) {
            current = FindChildItem(current, rest.substr(start, end - start));
            if (!current) {
                return finish(false, nullptr);
            }
            current->setExpanded(true);
        }
        start = end + 1;
    }
    return finish(true, current);
}

bool CDirTreeCtrl::IsFileShown(const std::string& name) const {
    if (m_bHideFiles) {
        return false;
    }
    return name.size() >= m_strFileSuffix.size() &&
           name.compare(name.size() - m_strFileSuffix.size(), m_strFileSuffix.size(), m_strFileSuffix) == 0;
}

void CDirTreeCtrl::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Asterisk) {
        if (QTreeWidgetItem* item = currentItem()) {
            item->setExpanded(true);
        }
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

bool CDirTreeCtrl::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip) {
        return QTreeWidget::viewportEvent(event);
    }
    // A name the viewport shows only in part appears whole as a tooltip.
    const auto* help = static_cast<QHelpEvent*>(event);
    QTreeWidgetItem* item = itemAt(help->pos());
    if (item) {
        const QRect row = visualItemRect(item);
        const int textRight =
            row.left() + iconSize().width() + 8 + fontMetrics().horizontalAdvance(item->text(0));
        if (row.left() < 0 || textRight > viewport()->width()) {
            QToolTip::showText(help->globalPos(), item->text(0), viewport());
            return true;
        }
    }
    QToolTip::hideText();
    return true;
}

void CDirTreeCtrl::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

void CDirTreeCtrl::OnItemExpanded(QTreeWidgetItem* item) {
    Populate(item);
}

void CDirTreeCtrl::OnItemCollapsed(QTreeWidgetItem* item) {
    // Closing forgets the listing, so the next opening shows the disk as it is then.
    DeleteChildren(item, true);
}

void CDirTreeCtrl::Populate(QTreeWidgetItem* item) {
    const bool noRedraw = (m_wOptions & DTO_NOREDRAW) != 0;
    const bool updatesWereOn = updatesEnabled();
    if (noRedraw) {
        setUpdatesEnabled(false);
    }
    if (item == m_pDrivesItem) {
        PopulateDrives();
    } else {
        PopulateFolder(item);
    }
    if (noRedraw) {
        setUpdatesEnabled(updatesWereOn);
    }
}

void CDirTreeCtrl::PopulateDrives() {
    DeleteChildren(m_pDrivesItem, false);
    m_driveStrings.clear();
    std::vector<Volume> volumes;
    if (!RunWithTimeLimit<std::vector<Volume>>(&ReadVolumes, m_timeLimit, volumes)) {
        volumes = {{"/", QStringLiteral("/")}};  // "/" is always there and never needs statfs to be shown
    }
    const QIcon driveIcon = QFileIconProvider().icon(QFileIconProvider::Drive);
    QList<QTreeWidgetItem*> items;
    for (const Volume& volume : volumes) {
        m_driveStrings.push_back(volume.root);
        items.append(NewItem(volume.label, QByteArray::fromStdString(volume.root), true, driveIcon));
    }
    m_pDrivesItem->addChildren(items);
}

void CDirTreeCtrl::PopulateFolder(QTreeWidgetItem* item) {
    // Computed while the placeholder still stands, so it ends with "/".
    std::string path = BuildItemPath(item, std::string());
    if (path.empty() || path.back() != '/') {
        path += '/';
    }
    DeleteChildren(item, false);

    const bool checkSubfolders = (m_wOptions & DTO_CHECKSUBFOLDERS) != 0;
    const FolderReader reader = m_folderReader;
    // Subfolder checks stop early enough for the listing to arrive in time; unchecked folders keep
    // their expand button, which is what they would show without the option.
    const auto checkUntil = std::chrono::steady_clock::now() + m_timeLimit / 2;
    std::function<FolderListing()> job = [reader, path, checkSubfolders, checkUntil]() {
        FolderListing listing;
        listing.ok = reader(path, listing.entries);
        SortByName(listing.entries);
        if (listing.ok && checkSubfolders) {
            for (const platform::DirEntry& entry : listing.entries) {
                const bool folder = entry.kind == platform::EntryKind::Folder;
                listing.hasSubfolder.push_back(folder && (std::chrono::steady_clock::now() > checkUntil ||
                                                          HasSubfolder(path + entry.name)));
            }
        }
        return listing;
    };
    FolderListing listing;
    // An unreadable, empty or too slow folder stays without children and loses its expand button.
    if (!RunWithTimeLimit(std::move(job), m_timeLimit, listing) || !listing.ok) {
        return;
    }

    // Links are not offered as folders: the backup never follows one, so a destination reached through
    // a link would not be the tree it looks like. With files shown, a link is listed as a file.
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(listing.entries.size()));
    for (size_t i = 0; i < listing.entries.size(); ++i) {
        const platform::DirEntry& entry = listing.entries[i];
        if (entry.kind != platform::EntryKind::Folder) {
            continue;
        }
        const QByteArray name = QByteArray::fromStdString(entry.name);
        const bool placeholder = !checkSubfolders || listing.hasSubfolder[i];
        items.append(NewItem(QFile::decodeName(name), name, placeholder, m_folderIcon));
    }
    if (!m_bHideFiles) {
        for (const platform::DirEntry& entry : listing.entries) {
            const bool fileLike =
                entry.kind == platform::EntryKind::File || entry.kind == platform::EntryKind::Link;
            if (fileLike && IsFileShown(entry.name)) {
                const QByteArray name = QByteArray::fromStdString(entry.name);
                items.append(NewItem(QFile::decodeName(name), name, false, FileIcon(entry.name)));
            }
        }
    }
    item->addChildren(items);
}

void CDirTreeCtrl::DeleteChildren(QTreeWidgetItem* item, bool placeholder) {
    for (QTreeWidgetItem* walk = currentItem(); walk; walk = walk->parent()) {
        if (walk->parent() == item) {
            setCurrentItem(item);
            break;
        }
    }
    const QList<QTreeWidgetItem*> children = item->takeChildren();
    qDeleteAll(children);
    if (placeholder) {
        item->addChild(NewItem(QString(), QByteArray(), false, QIcon()));
    }
}

QTreeWidgetItem* CDirTreeCtrl::InsertShellItem(const std::string& path, QTreeWidgetItem* parent,
                                               bool placeholder, const QIcon& icon) {
    const std::string name = LastComponent(path);
    const QByteArray bytes = QByteArray::fromStdString(name.empty() ? path : name);
    return InsertTreeItem(QFile::decodeName(bytes), bytes, parent, placeholder,
                          icon.isNull() ? FileIcon(name) : icon);
}

QTreeWidgetItem* CDirTreeCtrl::InsertTreeItem(const QString& label, const QByteArray& name,
                                              QTreeWidgetItem* parent, bool placeholder, const QIcon& icon) {
    QTreeWidgetItem* item = NewItem(label, name, placeholder, icon);
    if (parent) {
        parent->addChild(item);
    } else {
        addTopLevelItem(item);
    }
    return item;
}

QTreeWidgetItem* CDirTreeCtrl::NewItem(const QString& label, const QByteArray& name, bool placeholder,
                                       const QIcon& icon) const {
    auto* item = new QTreeWidgetItem(QStringList{label});
    if (!name.isEmpty()) {
        item->setData(0, kNameRole, name);
    }
    if (!icon.isNull()) {
        item->setIcon(0, icon);
    }
    if (placeholder) {
        item->addChild(new QTreeWidgetItem(QStringList{QString()}));
    }
    return item;
}

QTreeWidgetItem* CDirTreeCtrl::FindChildItem(QTreeWidgetItem* parent, const std::string& component) const {
    if (!parent) {
        return nullptr;
    }
    if (parent == m_pDrivesItem) {
        const std::string key = (!component.empty() && component.back() == '/') ? component : component + "/";
        const int count = std::min(parent->childCount(), static_cast<int>(m_driveStrings.size()));
        for (int i = 0; i < count; ++i) {
            if (m_driveStrings[static_cast<size_t>(i)] == key) {
                return parent->child(i);
            }
        }
        return nullptr;
    }
    const QByteArray key = QByteArray::fromStdString(component);
    for (int i = 0; i < parent->childCount(); ++i) {
        QTreeWidgetItem* child = parent->child(i);
        if (!child->text(0).isEmpty() && NameBytes(child) == key) {
            return child;
        }
    }
    return nullptr;
}

QIcon CDirTreeCtrl::FileIcon(const std::string& name) {
    // By name only: guessing the type from the contents would read the file.
    static const QMimeDatabase mimeDatabase;
    const QMimeType mime = mimeDatabase.mimeTypeForFile(QFile::decodeName(QByteArray::fromStdString(name)),
                                                        QMimeDatabase::MatchExtension);
    const QString key = mime.name();
    auto found = m_fileIconsByMime.constFind(key);
    if (found != m_fileIconsByMime.constEnd()) {
        return *found;
    }
    QIcon icon = QIcon::fromTheme(mime.iconName(), QIcon::fromTheme(mime.genericIconName(), m_fileIcon));
    m_fileIconsByMime.insert(key, icon);
    return icon;
}
