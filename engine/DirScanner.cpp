// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/DirScanner.h"

#include "engine/FolderWalk.h"
#include "engine/GenericException.h"
#include "engine/KeptVersions.h"
#include "engine/Progress.h"
#include "platform/FileSystem.h"
#include "platform/Folder.h"
#include "platform/Error.h"
#include "res/Strings.h"
#include "support/PathUtil.h"

void MakeAbsoluteFolder(std::string& folder) {
    if (!folder.empty() && folder.front() != '/') {
        std::string current = platform::CurrentFolder();
        NormalizeFolder(current);
        folder.insert(0, current);
    }
    NormalizeFolder(folder);
}

std::string ClockProblem(const std::string& folder, const platform::Medium& medium) {
    if (medium.clockOffset == 0) {
        return std::string();
    }
    const int64_t seconds = medium.clockOffset < 0 ? -medium.clockOffset : medium.clockOffset;
    return folder + res::kClockOff1 + std::to_string(seconds) + res::kClockOff2 +
           std::to_string(seconds / 3600) + ":" + (seconds % 3600 / 60 < 10 ? "0" : "") +
           std::to_string(seconds % 3600 / 60) +
           (medium.clockOffset > 0 ? res::kClockLater : res::kClockEarlier) + res::kClockEnd;
}

void ReadFileInfo(FileEntry& entry, const std::string& fullPath, int rootLength) {
    const size_t cut = rootLength > 0 ? static_cast<size_t>(rootLength) : 0;
    entry.m_strName = cut < fullPath.size() ? FileName(std::string_view(fullPath).substr(cut)) : FileName();
    platform::FileInfo info;
    if (!platform::StatPath(fullPath, info)) {
        RaisePathError(fullPath, FailureCode());
    }
    if (const platform::CError err = FillFileEntry(entry, info); err.Failed()) {
        RaisePathError(fullPath, err);
    }
}

CDirScanner::CDirScanner(const std::string& root, const std::string& ignore, IProgress* progress,
                         bool readArchive)
    : m_hProgress(progress), m_ignore(ignore), m_bReadArchive(readArchive) {
    m_strRoot = root;
    MakeAbsoluteFolder(m_strRoot);

    // The root is listed once: the same listing counts the top-level folders and is then scanned.
    // The root itself may be reached through a link (the trailing "/" follows it); links below it never are.
    // A root that may be listed but not entered counts as one that cannot be entered.
    platform::FileInfo rootInfo;
    std::unique_ptr<platform::CFolder> rootFolder;
    if (platform::StatPath(m_strRoot, rootInfo, false) && rootInfo.kind == platform::EntryKind::Folder &&
        rootInfo.readable) {
        rootFolder = platform::CFolder::Open(m_strRoot);
    }
    std::vector<platform::DirEntry> entries;
    if (rootFolder && !rootFolder->ReadEntries(entries)) {
        entries.clear();
    }
    if (rootFolder) {
        m_medium = platform::LearnMedium(m_strRoot);  // after the listing, which must not see its probe
        if (std::string problem = ClockProblem(m_strRoot, m_medium); !problem.empty()) {
            throw CGenericException(problem);
        }
    }
    m_nTopFolders = 0;
    for (const platform::DirEntry& e : entries) {
        if (e.kind == platform::EntryKind::Folder && e.name != kVersionsFolder) {
            ++m_nTopFolders;
        }
    }

    m_nProgressPos = 1;
    ProgressStart(m_hProgress, 1, m_nTopFolders, root);
    m_nRootLength = static_cast<int32_t>(m_strRoot.size());

    if (!rootFolder) {
        throw CGenericException(res::kDirectoryError);
    }
    // The walk calls back on this thread, in walk order, so the bar moves as a walk on one thread would.
    m_mediaBelow.push_back({std::string(), m_medium});
    const WalkFailure failure =
        CFolderWalk(m_ignore, m_bReadArchive)
            .Collect(std::move(rootFolder), std::move(entries), rootInfo.device, m_files, m_mediaBelow,
                     [this](const std::string& name) { ProgressStep(m_hProgress, name, m_nProgressPos); });
    switch (failure.kind) {
        case WalkFailure::None:
            break;
        case WalkFailure::FolderNotEntered:
            throw CGenericException(res::kDirectoryError);
        case WalkFailure::FileNotRead:
            RaisePathError(m_strRoot + failure.name, failure.err);
    }
    for (MediumBelow& below : m_mediaBelow) {
        // Modes no probe could try, the same on every file: made up by the driver, not kept.
        if (below.medium.modesUnprobed && below.modesAny == below.modesAll) {
            below.medium.keepsModes = false;
        }
    }
    m_medium = m_mediaBelow.front().medium;
    m_mediaBelow.erase(m_mediaBelow.begin());
    for (const MediumBelow& below : m_mediaBelow) {
        if (std::string problem = ClockProblem(m_strRoot + below.prefix, below.medium); !problem.empty()) {
            throw CGenericException(problem);
        }
    }
}
