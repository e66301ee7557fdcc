// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One tree as a run reaches its files: through folders held open from the root down, never through a
// link (platform/Folder.h). The scan never enters a link, and a copy must not pass through one either: a
// link planted in a tree (hidden from the scan by the ignore list, or put in place of a folder while the
// run works) would otherwise lead it to files outside both trees. The last folder used stays held:
// consecutive items mostly share theirs. One thread at a time.

#include <memory>
#include <string>
#include <string_view>

#include "engine/FileOps.h"

class CTreeAccess final {
  public:
    // Requires: root outlives this object.
    explicit CTreeAccess(const std::string& root) : m_root(root) {}

    // The file relative of this tree, held through its folder; shown is what a message names. No
    // folder, with the last error set, when a folder on the way is a link, is missing (NotFound; made
    // when create is set) or cannot be opened.
    HeldFile Reach(std::string_view relative, std::string shown, bool create);

  private:
    const std::string& m_root;
    std::shared_ptr<platform::CFolder> m_rootFolder;
    std::shared_ptr<platform::CFolder> m_folder;  // the folder last reached
    std::string m_strFolder;                      // its path relative to the root
};
