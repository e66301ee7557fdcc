#include "engine/CopyBatch.h"

#include "engine/FileOps.h"
#include "platform/FileSystem.h"
#include "res/Strings.h"
#include "support/PathUtil.h"

struct CCopyBatch::Entry {
    std::unique_ptr<platform::CPreparedCopy> copy;
    std::string from;
    std::string to;
    std::string clearArchive;
};

std::string CopyProblem(const std::string& from, const std::string& to) {
    return res::kCopy + from + res::kCopyTo + to + ": " + SystemErrorText();
}

std::string PathProblem(const std::string& path) {
    return path + ": " + SystemErrorText();
}

CCopyBatch::CCopyBatch() = default;
CCopyBatch::~CCopyBatch() = default;

void CCopyBatch::Add(std::unique_ptr<platform::CPreparedCopy> copy, const std::string& from,
                     const std::string& to, const std::string& clearArchive) {
    m_entries.push_back({std::move(copy), from, to, clearArchive});
}

bool CCopyBatch::Full() const {
    return m_entries.size() >= kMaxCopies;
}

std::string CCopyBatch::Complete() {
    const std::vector<Entry> entries = std::move(m_entries);
    m_entries.clear();
    std::vector<platform::CPreparedCopy*> copies;
    for (const Entry& entry : entries) {
        if (entry.copy) {
            copies.push_back(entry.copy.get());
        }
    }
    if (!platform::CPreparedCopy::Flush(copies)) {
        // Nothing is lost: each replacing copy then flushes itself before it is put in place, and the
        // one whose data could not be written reports it as its own failure.
    }
    for (const Entry& entry : entries) {
        if (entry.copy && !entry.copy->Publish()) {
            return CopyProblem(entry.from, entry.to);
        }
        if (!entry.clearArchive.empty()) {
            ChangeAttributes(entry.clearArchive, platform::kAttrArchive, AttrRemove);
            if (g_bAttrError) {
                return PathProblem(entry.clearArchive);
            }
        }
    }
    return {};
}
