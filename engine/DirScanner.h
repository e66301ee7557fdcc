// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Scans one folder tree into a FileList in its constructor, and reads one file's details for the
// worklist builder. Runs on the run's thread; the object is only read after construction.
// The scan never changes the current directory: it walks folders by handle and never follows a link.
// Folders are listed on helper threads as well (FolderWalk.h); the result and the progress calls are
// those of a walk on the run's thread alone.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/FileEntry.h"
#include "engine/FolderWalk.h"
#include "engine/IgnoreRule.h"
#include "platform/Medium.h"

class IProgress;

class CDirScanner {
  public:
    // Scans root (made absolute against the current directory when relative) into m_files, leaving out
    // files the ignore text names and temporary files of copies (removing those a killed run left).
    // Throws CGenericException "Directory Error" when the root or a subfolder cannot be entered,
    // path + ": " + system text when a file's details cannot be read, and the clock message when a medium
    // of the tree reads times back wrong (ClockProblem); a folder that was entered but
    // cannot be listed contributes nothing.
    // Progress, when given: range 1..m_nTopFolders with root as caption, one step per top-level folder.
    // readArchive false leaves the archive records unread (every entry then reads archived): a system
    // call per file saved for a tree whose archive bits nothing looks at.
    CDirScanner(const std::string& root, const std::string& ignore, IProgress* progress,
                bool readArchive = true);
    CDirScanner(const CDirScanner&) = delete;
    CDirScanner& operator=(const CDirScanner&) = delete;

    IProgress* const m_hProgress;
    int32_t m_nTopFolders = 0;   // folders (not links to folders) directly under the root
    std::string m_strRoot;       // absolute, in normal form (trailing "/")
    FileList m_files;            // the result, depth first in listing order
    int32_t m_nRootLength = 0;   // length of m_strRoot
    int32_t m_nProgressPos = 1;  // next position of the progress bar
    // What the root's file system keeps (time resolution, letter case, modes), learned before the scan.
    platform::Medium m_medium;
    // The file systems mounted below the root, in walk order (a nested one after the one that holds it).
    // Mostly empty.
    std::vector<MediumBelow> m_mediaBelow;

    // The medium that holds the folder of name (relative to the root): the innermost mount above it.
    const platform::Medium& MediumOf(std::string_view name) const {
        for (auto below = m_mediaBelow.rbegin(); below != m_mediaBelow.rend(); ++below) {
            if (name.substr(0, below->prefix.size()) == below->prefix) {
                return below->medium;
            }
        }
        return m_medium;
    }

  private:
    const CIgnoreRule m_ignore;
    const bool m_bReadArchive;
};

// Fills entry from the file (or link) at fullPath; its name is fullPath without the first rootLength
// characters. Throws CGenericException fullPath + ": " + system text when the details cannot
// be read, when the file may not be read, for a folder and for a pipe, socket or device (FillFileEntry).
void ReadFileInfo(FileEntry& entry, const std::string& fullPath, int rootLength);

// "" when medium (at folder) reads the times it is given back right; else the message that refuses the run.
std::string ClockProblem(const std::string& folder, const platform::Medium& medium);

// Makes a relative folder absolute against the current directory and puts it in normal form.
void MakeAbsoluteFolder(std::string& folder);
