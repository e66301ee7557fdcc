// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A folder of a tree held open, reached from the tree's root one level at a time and never through a
// symbolic link. Path-based calls made through Path() reach the held folder itself, wherever it has been
// moved since, and never a link or another folder put in its place: a tree that someone else can change
// while a run works cannot aim the run's writes (or reads) at a folder outside the trees. Any thread.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class CPinnedFolder final {
  public:
    ~CPinnedFolder();
    CPinnedFolder(const CPinnedFolder&) = delete;
    CPinnedFolder& operator=(const CPinnedFolder&) = delete;

    // The root of a tree (a root reached through a link is followed, as the scan does). Null, with the
    // last error set, when it is no folder that can be opened.
    static std::shared_ptr<CPinnedFolder> OpenRoot(const std::string& root);
    // The folder relative below root ("a/b/", "" for root itself), every step without following a link:
    // ELOOP when one of them is a link, ENOENT when one is missing. With create, missing folders are made
    // (mode 0777 less the umask; one that another process makes meanwhile counts as made).
    static std::shared_ptr<CPinnedFolder> Open(const std::shared_ptr<CPinnedFolder>& root,
                                               std::string_view relative, bool create);

    // Gives this folder, one a run has just made, the default ACL of from, the folder it is the copy of,
    // where from has one and this medium keeps it (new files and folders inside then get what they would
    // get in from). Best effort: a medium without ACLs takes the folder without it.
    void TakeDefaultAcl(const CPinnedFolder& from) const;

    // A path naming this folder, with a trailing "/", to which a name of the folder is appended:
    // "/proc/self/fd/N/". Valid while this object lives.
    const std::string& Path() const { return m_path; }

  private:
    explicit CPinnedFolder(int fd);
    const int m_fd;
    const std::string m_path;
};

// The two roots of a run, held open from the moment the run judged them until it ends. While they are
// held, every open of a root by its path (CFolder::Open, CPinnedFolder::OpenRoot, LearnMedium,
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
int OpenFolderPath(const std::string& path, int flags);
}  // namespace detail

}  // namespace platform
