// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/KeptVersions.h"

#include "engine/FileOps.h"
#include "platform/FileSystem.h"
#include "platform/Error.h"
#include "platform/Folder.h"
#include "res/Strings.h"
#include "support/PathUtil.h"

// One tree's version folder of this run, reached from the root without following a link; the folder
// last used stays held, as consecutive replaced files mostly share theirs.
struct CKeptVersions::Tree {
    std::string root;
    std::shared_ptr<platform::CFolder> rootFolder;
    std::shared_ptr<platform::CFolder> folder;
    std::string strFolder;  // relative to the root, "" before the first
};

CKeptVersions::CKeptVersions(const std::string& sourceRoot, const std::string& destRoot, std::string stamp)
    : m_strStamp(std::move(stamp)) {
    m_trees[0] = std::make_unique<Tree>();
    m_trees[0]->root = sourceRoot;
    m_trees[1] = std::make_unique<Tree>();
    m_trees[1]->root = destRoot;
}

CKeptVersions::~CKeptVersions() = default;

std::string CKeptVersions::Keep(const ReplacedFile& file, KeptFile& kept) {
    kept = KeptFile();
    Tree& tree = *m_trees[file.inSource ? 0 : 1];
    const size_t slash = file.relative.rfind('/');
    const std::string folder =
        std::string(kVersionsFolder) + "/" + m_strStamp + "/" +
        (slash == std::string::npos ? std::string() : file.relative.substr(0, slash + 1));
    const std::string shown = tree.root + folder + file.relative.substr(slash + 1);
    if (!tree.folder || tree.strFolder != folder) {
        tree.folder.reset();
        if (!tree.rootFolder) {
            tree.rootFolder = platform::CFolder::OpenRoot(tree.root);
        }
        // Never through a link: one planted as the versions folder would aim the kept files elsewhere.
        if (tree.rootFolder) {
            tree.folder = platform::CFolder::Open(tree.rootFolder, folder, true);
        }
        if (!tree.folder) {
            return platform::LastError().About(res::kKeepVersion + file.file.shown + res::kKeepVersionAs +
                                               shown);
        }
        tree.strFolder = folder;
    }
    kept.folder = tree.folder;
    kept.version = file.relative.substr(slash + 1);
    if (!platform::KeepAsVersion(*file.file.folder, file.file.name, *kept.folder, kept.version, kept.how)) {
        return platform::LastError().About(res::kKeepVersion + file.file.shown + res::kKeepVersionAs + shown);
    }
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
    bool lifted = false;
    if (liftReadOnly && ChangeAttributes(folder, to, platform::kAttrReadOnly, AttrTest) == 1) {
        lifted = ChangeAttributes(folder, to, platform::kAttrReadOnly, AttrRemove) != 0;
    }
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
        if (!platform::RemoveFolderTree(versions, e.name)) {
            failures.push_back(platform::LastError().About(res::kPruneFailed + versions + "/" + e.name));
        }
    }
    return failures;
}
