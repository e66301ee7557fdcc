// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Lists one folder tree on several threads at once and hands its files back in the order a walk on one
// thread would meet them: depth first, every folder's entries in name order (support/NameOrder.h). The
// scanner's speed is bound by one stat (and one archive record) per file; two cores do twice as many.
// Collect is called by one thread (the run's); the helper threads live only inside Collect.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/FileEntry.h"
#include "platform/Error.h"
#include "platform/Medium.h"

class CIgnoreRule;
namespace platform {
class CFolder;
struct DirEntry;
struct FileInfo;
}  // namespace platform

// Fills the time and attribute fields of entry from details already read. Returns no failure, or the
// error that refuses the entry: IsFolder for a folder, NotSupported for a pipe, socket or device, Denied
// for a file that may not be read.
platform::CError FillFileEntry(FileEntry& entry, const platform::FileInfo& info);

// The error of the platform call that just failed on this thread; always a failure, so it can never pass
// for success.
platform::CError FailureCode();

// The first problem of a walk in walk order; a walk on one thread would have stopped right there.
struct WalkFailure {
    enum Kind {
        None,
        FolderNotEntered,  // a subfolder that cannot be entered
        FileNotRead,       // a file whose details cannot be read (or that may not be read): name and err
    };
    Kind kind = None;
    std::string name;  // relative name of the file
    platform::CError err;
};

// A file system met inside a tree (a mount point below its root): the folder where it starts, relative to
// the root and ending in "/", and what it keeps.
struct MediumBelow {
    std::string prefix;
    platform::Medium medium;
    // The permission bits of its files, ORed and ANDed: equal when every file shows the same.
    uint32_t modesAny = 0;
    uint32_t modesAll = 07777;
};

class CFolderWalk {
  public:
    // helpers: threads besides the caller's (0 walks on the caller's thread alone). Three by default,
    // whatever the cores: a scan waits on the disk more than on the processor, and a run on cold caches
    // (a user's first of the day) keeps the disk busy with four listings in flight. On two cores the
    // extra threads cost a warm run about 1 %.
    CFolderWalk(const CIgnoreRule& ignore, bool readArchive, int helpers = 3);
    CFolderWalk(const CFolderWalk&) = delete;
    CFolderWalk& operator=(const CFolderWalk&) = delete;

    // Appends the files below root (open, its listing rootEntries already read) to out in walk order and
    // calls topFolder with the name of each folder directly under root as the walk reaches it (before
    // its files). Stops at the first failure in walk order and returns it; files after it are not
    // appended. Leaves out ignored files, the copier's hidden temporary files, and pipes, sockets and
    // devices; never enters a link; a folder that cannot be listed contributes nothing.
    // Exceptions of the helper threads (out of memory) reach the caller.
    // A folder on another file system than its parent's (rootDevice for the root's) starts a new medium:
    // learned once per file system after the folder is listed, and appended to media in walk order.
    // media holds the root's on entry, first; the walk notes the modes of each medium's files there.
    WalkFailure Collect(std::unique_ptr<platform::CFolder> root, std::vector<platform::DirEntry> rootEntries,
                        uint64_t rootDevice, FileList& out, std::vector<MediumBelow>& media,
                        const std::function<void(const std::string&)>& topFolder);

  private:
    const CIgnoreRule& m_ignore;
    const bool m_bReadArchive;
    const int m_nHelpers;
};
