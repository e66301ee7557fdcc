// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CDirTreeCtrl: the folder picker of the main dialog. Two roots, "Drives" (the mounted volumes) and the
// desktop folder; folders are listed from the disk one level at a time when opened. UI thread only.

#include <QHash>
#include <QIcon>
#include <QTreeWidget>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {
struct DirEntry;
}

// Options of SetOptions and the constructor. DTO_NOREDRAW: screen updates off while an item is filled.
// DTO_CHECKSUBFOLDERS: a listed folder gets an expand button only when it has a subfolder.
inline constexpr uint16_t DTO_NOREDRAW = 1;
inline constexpr uint16_t DTO_CHECKSUBFOLDERS = 2;

class CDirTreeCtrl : public QTreeWidget {
    Q_OBJECT

  public:
    // Reads the folder at path (with trailing "/") into entries; runs on a helper thread.
    using FolderReader =
        std::function<bool(const std::string& path, std::vector<platform::DirEntry>& entries)>;

    // The tree stays empty until Initialize. fileSuffix filters listed files (see IsFileShown).
    CDirTreeCtrl(const std::string& fileSuffix, bool hideFiles, uint16_t options, QWidget* parent = nullptr);
    ~CDirTreeCtrl() override;

    // Take effect at the next opening of an item.
    void SetOptions(bool hideFiles, uint16_t options);

    // Builds the two closed roots, "Drives" first and the desktop folder second, each with an expand
    // button. With deleteAll every earlier item goes first; it is the only refresh. Reads no folder.
    void Initialize(bool deleteAll);

    // Path of the current item (scrolled into view), or "" when there is none.
    std::string GetSelectedPath();
    // "" for "Drives" and for a placeholder; a volume's mount point and the desktop folder end with "/";
    // below them the item's names joined by "/", ending with "/" while the item has children or an
    // expand button, without it once an opening found nothing to list. Built from the tree, byte-exact.
    std::string GetItemPath(QTreeWidgetItem* item) const;

    // Opens the tree along path and makes its last item current: from "Drives" through the longest mount
    // point that begins path, then one folder name after another, compared exactly. "" selects "Drives".
    // Returns false at the first name not found; the items opened so far stay open, the current item
    // is unchanged.
    bool SelectPath(const std::string& path);

    // Whether a file of this name is listed beside the folders: never while files are hidden, otherwise
    // when the name ends in the file suffix exactly (byte comparison, case-sensitive).
    virtual bool IsFileShown(const std::string& name) const;

    QTreeWidgetItem* DrivesItem() const { return m_pDrivesItem; }
    QTreeWidgetItem* DesktopItem() const { return m_pDesktopItem; }

    // Test hooks: replace the folder reader and the time a listing may take before it is given up.
    void TestSetFolderReader(FolderReader reader) { m_folderReader = std::move(reader); }
    void TestSetTimeLimit(std::chrono::milliseconds limit) { m_timeLimit = limit; }

  protected:
    // "*" opens only the current item: opening everything below it would list whole disks.
    void keyPressEvent(QKeyEvent* event) override;
    // A right click only asks for the context menu: the current row, and with it the destination, stays.
    void mousePressEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;

    // Fills an opened item from the disk (or the volume list for "Drives").
    void Populate(QTreeWidgetItem* item);
    // Removes every child; with placeholder one empty child remains so the item keeps its expand button.
    // A current item inside the removed part hands the selection to item first.
    void DeleteChildren(QTreeWidgetItem* item, bool placeholder);
    // Inserts the entry at path under parent (root level when null), last. Label and name bytes are the
    // path's last name (the path itself for "/"); without an icon the desktop's icon for the name.
    QTreeWidgetItem* InsertShellItem(const std::string& path, QTreeWidgetItem* parent, bool placeholder,
                                     const QIcon& icon = QIcon());
    QTreeWidgetItem* InsertTreeItem(const QString& label, const QByteArray& name, QTreeWidgetItem* parent,
                                    bool placeholder, const QIcon& icon);
    // Under "Drives" component is a mount point (with or without trailing "/"); elsewhere a name.
    QTreeWidgetItem* FindChildItem(QTreeWidgetItem* parent, const std::string& component) const;
    std::string BuildItemPath(QTreeWidgetItem* item, std::string suffix) const;

  private:
    void OnItemExpanded(QTreeWidgetItem* item);
    void OnItemCollapsed(QTreeWidgetItem* item);
    void PopulateDrives();
    void PopulateFolder(QTreeWidgetItem* item);
    QTreeWidgetItem* NewItem(const QString& label, const QByteArray& name, bool placeholder,
                             const QIcon& icon) const;
    QIcon FileIcon(const std::string& name);

    const std::string m_strFileSuffix;
    bool m_bHideFiles;
    uint16_t m_wOptions;

    // Shared by every folder item; the selected state shows the open folder.
    QIcon m_folderIcon;
    QIcon m_fileIcon;
    QHash<QString, QIcon> m_fileIconsByMime;

    QTreeWidgetItem* m_pDrivesItem = nullptr;
    QTreeWidgetItem* m_pDesktopItem = nullptr;
    // Without trailing "/" ("" when the desktop is "/").
    std::string m_strDesktopPath;
    // Mount points with trailing "/" from the last opening of "Drives"; the n-th child stands for the
    // n-th string.
    std::vector<std::string> m_driveStrings;

    FolderReader m_folderReader;
    std::chrono::milliseconds m_timeLimit{2000};
};
