// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/KeptVersions.h"

#include "engine/FileOps.h"
#include "engine/TreeAccess.h"
#include "platform/FileSystem.h"
#include "platform/Error.h"
#include "platform/Folder.h"
#include "res/Strings.h"
#include "support/PathUtil.h"

CKeptVersions::CKeptVersions(const std::string& sourceRoot, const std::string& destRoot, std::string stamp)
    : m_strRoots{sourceRoot, destRoot},
      m_trees{std::make_unique<CTreeAccess>(m_strRoots[0]), std::make_unique<CTreeAccess>(m_strRoots[1])},
      m_strStamp(std::move(stamp)) {}

CKeptVersions::~CKeptVersions() = default;

std::string CKeptVersions::Keep(const ReplacedFile& file, KeptFile& kept) {
    kept = KeptFile();
    const int tree = file.inSource ? 0 : 1;
    // Never through a link: one planted as the versions folder would aim the kept files elsewhere.
    const std::string relative = std::string(kVersionsFolder) + "/" + m_strStamp + "/" + file.relative;
    HeldFile version = m_trees[tree]->Reach(relative, m_strRoots[tree] + relative, true);
    if (!version.folder || !platform::KeepAsVersion(*file.file.folder, file.file.name, *version.folder,
                                                    version.name, kept.how)) {
        return platform::LastError().About(res::kKeepVersion + file.file.shown + res::kKeepVersionAs +
                                           version.shown);
    }
    kept.folder = std::move(version.folder);
    kept.version = std::move(version.name);
    return std::string();
}

void CKeptVersions::PutBack(const KeptFile& kept, const ReplacedFile& file) {
    if (kept.how == platform::KeptBy::Rename) {
        const platform::CError err =
            platform::LastError();  // the replacement's failure is what the user reads
        platform::PutVersionBack(*kept.folder, kept.version, *file.file.folder, file.file.name);
        platform::SetLastError(err);
    }
}

std::string CKeptVersions::CopyOver(const HeldFile& from, const ReplacedFile& target, bool liftReadOnly,
                                    bool sourceKeepsModes, platform::PendingWriteTime* pending,
                                    const platform::ScannedTarget* scanned) {
    const platform::CFolder& folder = *target.file.folder;
    const std::string& to = target.file.name;
    const std::string& shownFrom = from.shown;
    const bool lifted = LiftReadOnly(folder, to, liftReadOnly);
    std::string problem;
    KeptFile kept;
    std::unique_ptr<platform::CPreparedCopy> copy = platform::CPreparedCopy::Prepare(
        *from.folder, from.name, folder, to, sourceKeepsModes, pending != nullptr, scanned);
    const auto keep = [&] { return (problem = Keep(target, kept)).empty(); };
    if (!copy || !copy->Publish(copy->Replaces() ? keep : std::function<bool()>())) {
        PutBack(kept, target);
        if (problem.empty()) {
            problem = CopyProblem(shownFrom, target.file.shown);
        }
    }
    if (lifted) {
        const platform::CError err = platform::LastError();
        const bool restored = ChangeAttributes(folder, to, platform::kAttrReadOnly, AttrAdd) != 0;
        if (kept.how != platform::KeptBy::Nothing) {
            // The lift changed the old file itself, which the version is (or shares with a link).
            (void)ChangeAttributes(*kept.folder, kept.version, platform::kAttrReadOnly, AttrAdd);
        }
        if (problem.empty() && !restored) {
            problem = CopyProblem(shownFrom, target.file.shown);
        }
        platform::SetLastError(err);
    }
    if (problem.empty() && pending) {
        *pending = copy->PendingTime();
    }
    return problem;
}

std::vector<std::string> PruneVersions(const std::string& root, int days, int64_t now) {
    std::vector<std::string> failures;
    std::string versions = root;
    NormalizeFolder(versions);
    versions.append(kVersionsFolder);
    std::vector<platform::DirEntry> entries;
    // A link in place of the versions folder is not followed: CFolder refuses it.
    std::unique_ptr<platform::CFolder> folder = platform::CFolder::Open(versions);
    if (!folder) {
        if (platform::LastError().Kind() != platform::ErrorKind::NotFound) {
            failures.push_back(platform::LastError().About(versions));
        }
        return failures;
    }
    if (!folder->ReadEntries(entries)) {
        failures.push_back(platform::LastError().About(versions));
        return failures;
    }
    const int64_t limit = now - int64_t{days} * 86400;
    for (const platform::DirEntry& e : entries) {
        int64_t made = 0;
        if (e.kind != platform::EntryKind::Folder || !platform::SecondsFromLocalStamp(e.name, made) ||
            made >= limit) {
            continue;
        }
        if (!platform::RemoveFolderTree(*folder, e.name)) {
            failures.push_back(platform::LastError().About(res::kPruneFailed + versions + "/" + e.name));
        }
    }
    return failures;
}
