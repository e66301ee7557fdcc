// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Pairs the files of two scanned trees by relative name into a WorkList and decides each item for a
// run mode. Copies nothing and changes nothing on disk. Runs on the run's thread.

#include "engine/WorkList.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CDirScanner;
class IProgress;

class CWorkListBuilder {
  public:
    // Builds m_items: one item per source file in source order (kind KindBoth or KindNoDest), then one
    // per destination-only file in destination order (KindNoSource); every item WorkUnknown.
    // A counterpart is looked up in the other scan by name (ignoring case as the media of the folder on
    // either side do; each side then keeps its own spelling) and otherwise asked of the file system.
    // Throws CGenericException path + ": " + system text when an existing counterpart cannot be read
    // or is a folder. Requires: both scanners outlive the builder.
    // The builder takes the entries over from the scanners: afterwards their m_files are empty (a
    // million-file run would otherwise hold every name four times).
    CWorkListBuilder(CDirScanner& source, CDirScanner& dest, IProgress* progress);
    CWorkListBuilder(const CWorkListBuilder&) = delete;
    CWorkListBuilder& operator=(const CWorkListBuilder&) = delete;

    // Decides every item by the mode's rule (1 backup, 2-4 synchronize, else WorkUnknown), comparing
    // times to TimeResolution; items that clash by letter case stay WorkUnknown. Only flags change.
    void ApplyRunMode(int mode);

    // "" when no two names clash; else the message that names two of them, for a run that must not start.
    std::string CaseClash() const;

    // The coarser write-time step of the media that hold the item's two sides.
    uint64_t TimeResolution(const WorkItem& item) const;
    // Whether the medium of the item's source side (destSide: destination side) keeps permission bits.
    bool KeepsModes(const WorkItem& item, bool destSide) const;

    IProgress* const m_hProgress;
    const CDirScanner* const m_pSource;
    const CDirScanner* const m_pDest;
    // The coarser write-time step of the two roots' media (100-ns units; 1 where both keep exact times).
    const uint64_t m_nTimeResolution;
    WorkList m_items;
    // Items whose name another item of the same tree repeats but for letter case, where the medium of its
    // folder in one of the trees ignores case (or may: one whose rule is not known): that tree can keep
    // only one of them, so none may be copied. Mostly empty.
    std::vector<uint32_t> m_clashes;

  private:
    enum class Namesakes { Apart, Doubt, Same };
    // Whether a and b (the names of the same folder's files, sourceName and destName giving the folder
    // on each side) are one file to the media of that folder: Doubt where a medium's rule is not known.
    Namesakes Compare(std::string_view sourceName, std::string_view destName, std::string_view a,
                      std::string_view b) const;
};
