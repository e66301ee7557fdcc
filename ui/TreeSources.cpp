// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/TreeSources.h"

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>

std::vector<Volume> ReadVolumes() {
    std::vector<Volume> volumes{{"/", QStringLiteral("/")}};
    for (const QStorageInfo& info : QStorageInfo::mountedVolumes()) {
        // Containers bind-mount single files (/etc/hosts): only folders can be opened.
        if (!info.isValid() || !info.isReady() || !QFileInfo(info.rootPath()).isDir()) {
            continue;
        }
        std::string root = QFile::encodeName(info.rootPath()).toStdString();
        if (root.empty() || root[0] != '/') {
            continue;
        }
        if (root.back() != '/') {
            root += '/';
        }
        const QString name = info.name();
        if (root == "/") {
            if (!name.isEmpty()) {
                volumes[0].label = QStringLiteral("/ (%1)").arg(name);
            }
            continue;
        }
        if (std::any_of(volumes.begin(), volumes.end(), [&](const Volume& v) { return v.root == root; })) {
            continue;  // bind mounts and stacked mounts show the same folder twice
        }
        QString label = info.rootPath();
        if (!name.isEmpty() && name != label) {
            label += QStringLiteral(" (%1)").arg(name);
        }
        volumes.push_back({root, label});
    }
    return volumes;
}

std::string DesktopFolder() {
    QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    // Many Linux installations have no desktop folder; home is what such a user sees as the desktop.
    if (desktop.isEmpty() || !QFileInfo(desktop).isDir()) {
        desktop = QDir::homePath();
    }
    // Listing never follows a link, and a ~/Desktop that is one is common: show the folder it stands for.
    const QString canonical = QFileInfo(desktop).canonicalFilePath();
    if (!canonical.isEmpty()) {
        desktop = canonical;
    }
    std::string path = QFile::encodeName(desktop).toStdString();
    while (!path.empty() && path.back() == '/') {
        path.pop_back();
    }
    return path;
}
