// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The roots of a run held open by handle, and the one open of a folder by its path that honours them.
// Any thread.

#include <string>
#include <vector>

namespace platform {

// The two roots of a run, held open from the moment the run judged them until it ends. While they are
// held, every open of a root by its path (CFolder::Open, CFolder::OpenRoot, LearnMedium,
// CFileSystemFlush) is an open of the held folder: a scan, the lock, the copies and the flush all reach
// the folder judged, even when someone swaps a link for a root (or a folder above it) during the run.
// One run at a time; any thread may open through it.
class CHeldRoots final {
  public:
    CHeldRoots() = default;
    ~CHeldRoots();
    CHeldRoots(const CHeldRoots&) = delete;
    CHeldRoots& operator=(const CHeldRoots&) = delete;

    // Opens each root (absolute and resolved, as the run judged it) without following any link on the
    // way. False, with the last error set and failed naming the root, when one is no folder there any
    // more (ELOOP: a link stands where the folder was judged); then nothing is held.
    [[nodiscard]] bool Hold(const std::vector<std::string>& roots, std::string& failed);
};

namespace detail {
// open(path, flags) of a folder, through the held root when path names one (platform/ only).
[[nodiscard]] int OpenFolderPath(const std::string& path, int flags);
}  // namespace detail

}  // namespace platform
