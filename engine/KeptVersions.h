// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Keeping replaced files: before a copy replaces a file of either tree, the old one gets a second name
// under "<tree root>/.tandrel-versions/<run start>/<relative path>" (a hard link, or a rename where the
// medium has none), and version folders older than the user's limit are removed when a run starts.
// The run's thread only.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/CopyBatch.h"
#include "platform/Versions.h"

namespace platform {
class CFolder;
}  // namespace platform

// The folder under a tree's root that holds the versions; never scanned, never copied, never locked.
inline constexpr std::string_view kVersionsFolder = ".tandrel-versions";

// How one replaced file was kept, for PutBack after a failed replacement.
struct KeptFile {
    platform::KeptBy how = platform::KeptBy::Nothing;
    std::shared_ptr<platform::CFolder> folder;  // the version folder held open
    std::string version;                        // the version's name in it
};

class CTreeAccess;

class CKeptVersions {
  public:
    // Roots in normal form (trailing "/"); stamp: the run's start as a version folder's name.
    CKeptVersions(const std::string& sourceRoot, const std::string& destRoot, std::string stamp);
    ~CKeptVersions();
    CKeptVersions(const CKeptVersions&) = delete;
    CKeptVersions& operator=(const CKeptVersions&) = delete;

    // Keeps the file that file names before a copy replaces it, making the version folders on the way.
    // Returns "" (kept holds how), or the message that stops the run before the replacement.
    std::string Keep(const ReplacedFile& file, KeptFile& kept);
    // After the replacement failed: a file that Keep moved away takes its name again.
    static void PutBack(const KeptFile& kept, const ReplacedFile& file);

    // CopyFileWithPath over a target that exists, keeping it first; the read-only bit a lift took from
    // the old file comes back on its version too. Returns "" or the message that stops the run.
    std::string CopyOver(const HeldFile& from, const ReplacedFile& target, bool liftReadOnly,
                         bool sourceKeepsModes, platform::PendingWriteTime* pending,
                         const platform::ScannedTarget* scanned);

  private:
    const std::string m_strRoots[2];                // source, destination
    const std::unique_ptr<CTreeAccess> m_trees[2];  // their version folders, reached through m_strRoots
    const std::string m_strStamp;
};

// Removes the version folders under root whose names say they are older than days before now (seconds
// since 1970). Nothing else is touched. Returns one run-log line per folder that could not be removed.
std::vector<std::string> PruneVersions(const std::string& root, int days, int64_t now);
