#include "engine/Executor.h"

#include "engine/DirScanner.h"
#include "engine/FileOps.h"
#include "engine/Progress.h"
#include "engine/RunHost.h"
#include "engine/WorkListBuilder.h"
#include "platform/FileSystem.h"
#include "res/Strings.h"
#include "support/PathUtil.h"

namespace {

// Enables the main window again however the run ends, an unexpected exception included.
class CEnableOnExit final {
  public:
    explicit CEnableOnExit(IRunHost& host) : m_host(host) { m_host.EnableMainWindow(false); }
    ~CEnableOnExit() { m_host.EnableMainWindow(true); }
    CEnableOnExit(const CEnableOnExit&) = delete;
    CEnableOnExit& operator=(const CEnableOnExit&) = delete;

  private:
    IRunHost& m_host;
};

// Carries out one item. Returns the message that stops the run, or "" when the item is done.
std::string ExecuteItem(const WorkItem& item, const std::string& sourcePath, const std::string& destPath) {
    if (item.m_nFlags & WorkUnknown) {
        return res::kUnknownOperation + sourcePath + res::kSourceTag + " ? " + destPath +
               res::kDestinationTag;
    }
    if (item.m_nFlags & WorkSynchronize) {
        if ((item.m_nFlags & WorkBySyncRule) && CompareTimes(item) == 2) {
            return destPath + res::kDestinationTagTypo + res::kIsOlderThan + sourcePath + res::kSourceTag;
        }
        if (!CopyFileWithPath(destPath, sourcePath, (item.m_nFlags & WorkDestReadOnly) != 0)) {
            return res::kCopy + destPath + res::kCopyTo + sourcePath + ": " + SystemErrorText();
        }
    }
    if (item.m_nFlags & (WorkBackup | WorkCreate)) {
        if ((item.m_nFlags & WorkByBackupRule) && CompareTimes(item) == 1) {
            return sourcePath + res::kSourceTag + res::kIsOlderThan + destPath + res::kDestinationTagTypo;
        }
        if (!CopyFileWithPath(sourcePath, destPath, (item.m_nFlags & WorkSourceReadOnly) != 0)) {
            return res::kCopy + sourcePath + res::kCopyTo + destPath + ": " + SystemErrorText();
        }
    }
    if (item.m_nFlags & WorkClearArchive) {
        ChangeAttributes(sourcePath, platform::kAttrArchive, AttrRemove);
        if (g_bAttrError) {
            return sourcePath + ": " + SystemErrorText();
        }
    }
    return {};
}

}  // namespace

std::string GetRunTitle(int mode) {
    switch (mode) {
        case RunBackup:
            return res::kTitleBackup;
        case RunSynchronize:
            return res::kTitleSynchronize;
        case RunCheckIn:
            return res::kTitleCheckIn;
        case RunCheckOut:
            return res::kTitleCheckOut;
        default:
            return res::kTitleDefault;
    }
}

int ExecuteWorkList(IRunHost& host, std::string& sourceDir, std::string& destDir,
                    const CWorkListBuilder& builder, int mode) {
    MakeAbsoluteFolder(destDir);
    MakeAbsoluteFolder(sourceDir);
    IProgress* const progress = host.Progress();
    if (progress) {
        progress->SetCaption(GetRunTitle(mode));
    }
    CEnableOnExit enableOnExit(host);

    const WorkList& items = builder.m_items;
    const int count = static_cast<int>(items.size());
    if (progress) {
        progress->SetRange(0, count - 1);
    }
    std::string sourcePath;
    std::string destPath;
    for (int i = 0; i < count; ++i) {
        const WorkItem item = items[static_cast<size_t>(i)];
        sourcePath.assign(sourceDir).append(item.m_source.m_strName);
        destPath.assign(destDir).append(item.m_dest.m_strName);
        if (progress) {
            progress->SetPos(i);
            progress->SetStatus(sourcePath);
        }
        const std::string problem = ExecuteItem(item, sourcePath, destPath);
        if (!problem.empty()) {
            host.Report(problem, 0, 0);
            break;
        }
    }
    return 0;
}
