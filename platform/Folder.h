// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A folder held open by handle: the calls on its entries take (folder, name) and reach the held folder
// itself, wherever it has been moved since, and never a link or another folder put in its place. Walks
// never change the current directory; a tree that someone else changes while a run works cannot aim
// the run's writes (or reads) at a folder outside the trees. Any thread; Stat and OpenChild may run on
// several threads at once, ReadEntries on one at a time.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileSystem.h"

namespace platform {

class CFolder;

namespace detail {
// The handle of a held folder, for the system calls of platform/ (never used elsewhere).
int FolderFd(const CFolder& folder);
}  // namespace detail

class CFolder final {
  public:
    ~CFolder();
    CFolder(const CFolder&) = delete;
    CFolder& operator=(const CFolder&) = delete;

    // A folder to list. Null (and the last error set) when path is not a folder that may be entered; a
    // link is refused.
    [[nodiscard]] static std::unique_ptr<CFolder> Open(const std::string& path);
    [[nodiscard]] std::unique_ptr<CFolder> OpenChild(const std::string& name) const;

    // The root of a tree (a root reached through a link is followed, as the scan does). Null, with the
    // last error set, when it is no folder that can be opened. Such a handle is not for listing.
    [[nodiscard]] static std::shared_ptr<CFolder> OpenRoot(const std::string& root);
    // The folder relative below root ("a/b/", "" for root itself), every step without following a link:
    // ELOOP when one of them is a link, ENOENT when one is missing. With create, missing folders are made
    // (mode 0777 less the umask; one that another process makes meanwhile counts as made).
    [[nodiscard]] static std::shared_ptr<CFolder> Open(const std::shared_ptr<CFolder>& root,
                                                       std::string_view relative, bool create);

    // Entries in listing order without "." and ".."; false when the listing cannot be read.
    [[nodiscard]] bool ReadEntries(std::vector<DirEntry>& entries) const;
    // Details of one entry of this folder, as StatPath.
    [[nodiscard]] bool Stat(const std::string& name, FileInfo& info, bool withArchive = true) const;
    // True when something (a dangling link too) stands at name; false with the last error set.
    [[nodiscard]] bool Has(const std::string& name) const;
    // Removes the entry name when IsLeftoverName says a killed run left it and it is a file or a link.
    // Best effort: a leftover that stays is found again by the next run.
    void RemoveLeftover(const std::string& name) const;

    // Gives this folder, one a run has just made, the default ACL of from, the folder it is the copy of,
    // where from has one and this medium keeps it (new files and folders inside then get what they would
    // get in from). Best effort: a medium without ACLs takes the folder without it.
    void TakeDefaultAcl(const CFolder& from) const;

  private:
    friend int detail::FolderFd(const CFolder& folder);
    explicit CFolder(int fd) : m_fd(fd) {}
    const int m_fd;
    mutable bool m_bListed = false;  // a listing moved the handle's offset: the next one rewinds
};

}  // namespace platform
