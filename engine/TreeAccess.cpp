// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/TreeAccess.h"

#include "platform/Folder.h"

HeldFile CTreeAccess::Reach(std::string_view relative, std::string shown, bool create) {
    HeldFile file{nullptr, std::string(), std::move(shown)};
    if (!m_rootFolder && !(m_rootFolder = platform::CFolder::OpenRoot(m_root))) {
        return file;
    }
    const size_t slash = relative.rfind('/');
    const std::string_view folder =
        slash == std::string_view::npos ? std::string_view() : relative.substr(0, slash + 1);
    if (!m_folder || m_strFolder != folder) {
        std::shared_ptr<platform::CFolder> held = platform::CFolder::Open(m_rootFolder, folder, create);
        if (!held) {
            return file;
        }
        m_folder = std::move(held);
        m_strFolder.assign(folder);
    }
    file.folder = m_folder;
    file.name.assign(relative.substr(folder.size()));
    return file;
}
