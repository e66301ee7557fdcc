#pragma once
// Pairs the files of two scanned trees by relative name into a WorkList and decides each item for a
// run mode. Copies nothing and changes nothing on disk. Runs on the run's thread.

#include "engine/EngineBase.h"
#include "engine/WorkList.h"

class CDirScanner;
class IProgress;

class CWorkListBuilder : public CEngineBase {
  public:
    // Builds m_items: one item per source file in source order (kind KindBoth or KindNoDest), then one
    // per destination-only file in destination order (KindNoSource); every item WorkUnknown.
    // A counterpart is looked up in the other scan by exact name and otherwise asked of the file system,
    // so a file system that ignores case pairs names that differ in case.
    // Throws CGenericException path + ": " + system text when an existing counterpart cannot be read
    // or is a folder. Requires: both scanners outlive the builder.
    // The builder takes the entries over from the scanners: afterwards their m_files are empty (a
    // million-file run would otherwise hold every name four times).
    CWorkListBuilder(CDirScanner& source, CDirScanner& dest, IProgress* progress);
    CWorkListBuilder(const CWorkListBuilder&) = delete;
    CWorkListBuilder& operator=(const CWorkListBuilder&) = delete;

    // Decides every item by the mode's rule (1 backup, 2-4 synchronize, else WorkUnknown); only flags change.
    void ApplyRunMode(int mode);

    IProgress* const m_hProgress;
    const CDirScanner* const m_pSource;
    const CDirScanner* const m_pDest;
    WorkList m_items;
};
