// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// File and folder operations: the only code that asks the kernel about files. Any thread.
// Paths are byte strings; "/" is the separator; nothing here follows a symbolic link unless it says so.
// Every function that returns false has set the calling thread's last error (Error.h).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

class CFolder;

enum class EntryKind { File, Folder, Link, Other };

struct DirEntry {
    std::string name;
    EntryKind kind = EntryKind::Other;
};

// Write times count 100-ns units.
inline constexpr uint64_t kWriteTimeUnitsPerSecond = 10000000;

// Windows attribute bits as the engine speaks of them.
inline constexpr uint32_t kAttrReadOnly = 0x01;
inline constexpr uint32_t kAttrArchive = 0x20;

struct FileInfo {
    EntryKind kind = EntryKind::Other;
    uint64_t writeTime = 0;  // 100-ns units since 1601-01-01 UTC, from st_mtim
    uint64_t size = 0;
    bool readOnly = false;  // owner-write bit clear (a link is never read-only)
    bool archive = true;    // no archive record, or one that no longer matches the write time
    bool readable = false;  // this process may open it for reading (a folder: list and enter it)
    uint64_t device = 0;    // the file system that holds it (st_dev)
    uint32_t mode = 0;      // permission bits
};

// The 64-bit write time of a timespec-like pair. Times before 1601 give 0; nanoseconds are truncated to
// whole 100-ns units.
uint64_t WriteTimeFromUnix(int64_t seconds, int64_t nanoseconds);

// Details of the entry at path itself (a link is described, not its target).
// withArchive false skips the archive record and leaves archive true.
[[nodiscard]] bool StatPath(const std::string& path, FileInfo& info, bool withArchive = true);

// True when something (file, folder, link, anything) exists at path; a dangling link exists.
[[nodiscard]] bool PathExists(const std::string& path);

// The entries of a folder in the file system's listing order, without "." and "..".
[[nodiscard]] bool ListFolder(const std::string& path, std::vector<DirEntry>& entries);

// Attribute bits (kAttrReadOnly | kAttrArchive) of the entry at path, emulated as documented in
// docs/platform.md. Changing adds (set) or removes the bits of mask with one look at the file, writing
// only what changes; on a link both calls succeed and change nothing.
[[nodiscard]] bool GetAttributes(const std::string& path, uint32_t& attributes);
[[nodiscard]] bool ChangeAttributeBits(const std::string& path, uint32_t mask, bool set);
// The same for the entry name of a held folder (Folder.h).
[[nodiscard]] bool GetAttributes(const CFolder& folder, const std::string& name, uint32_t& attributes);
[[nodiscard]] bool ChangeAttributeBits(const CFolder& folder, const std::string& name, uint32_t mask,
                                       bool set);

// Creates one folder (mode 0777 less umask). EEXIST when something already stands there,
// ENOENT when the parent folder is missing.
[[nodiscard]] bool CreateFolder(const std::string& path);
// Creates path and each missing folder above it with mode (less the umask), links on the way followed;
// folders that exist keep their mode. ENOTDIR when something else than a folder stands on the way.
[[nodiscard]] bool MakeFolders(const std::string& path, unsigned mode = 0777);

// A copy that took its name with its original's write time before its data reached the disk could be
// left empty by a power cut, and no later run would copy it again; a flush per new file would make a
// first backup many times slower. Asked for, a new copy is therefore named with a provisional write
// time, older than its source by more than any medium's step (kProvisionalMargin): 1980-01-02, or for an
// older source that source's time less the margin. It gets its real one by FinishWriteTime once the data
// is on disk: a copy cut short keeps a time that makes the next run copy it again, in either direction.
// Only where the file system has unnamed files (the Linux ones) and holds that time: elsewhere, or not
// asked for, the copy is flushed before it takes its name, and takes its real time at once.
inline constexpr int64_t kProvisionalWriteTime = 315619200;  // 1980-01-02 00:00 UTC
inline constexpr int64_t kProvisionalMargin = 4;             // seconds; the coarsest step is FAT's 2 s
struct PendingWriteTime {
    bool pending = false;  // the copy was named with the provisional time
    int64_t seconds = 0;   // its real write time, the source's as it was copied
    int64_t nanoseconds = 0;
    int64_t provisional = kProvisionalWriteTime;  // the provisional time it was named with (whole seconds)
};

// What a run's scan saw at a copy's target. A copy replaces only that file: a name that another program
// took since (a new copy's), or a target saved, replaced or removed since (a replacement's), fails the
// copy with EEXIST, and nothing there is touched.
struct ScannedTarget {
    bool exists = false;     // the scan saw a file there
    uint64_t writeTime = 0;  // its write time then
};

// Copies the file or link fromName of a held folder (Folder.h) to the entry toName of another, replacing
// what stands there. Contents by the kernel's copy (holes of a sparse file stay holes), nanosecond write
// time, mode, archive record, the user's extended attributes and the access ACL go with it (those two
// where the target medium keeps them); a link is copied as a link. sourceKeepsModes false: the source's medium makes its owners and permission
// bits up (Medium.h), so the copy takes none of them but its read-only state. A target medium that
// cannot hold a mode keeps what it can. A read-only target is refused with EACCES, also for root.
// On failure the old target is untouched and no temporary file remains. With pending, a new regular file
// is named with the provisional write time and pending says which time it is to get. With scanned, the
// target must still be what the scan saw (EEXIST otherwise); without, a new copy still never replaces a
// file that appears at its name meanwhile.
[[nodiscard]] bool CopyFileAtomic(const CFolder& fromFolder, const std::string& fromName,
                                  const CFolder& toFolder, const std::string& toName,
                                  bool sourceKeepsModes = true, PendingWriteTime* pending = nullptr,
                                  const ScannedTarget* scanned = nullptr);

// Gives the file name of a held folder its real write time, unless it no longer has the provisional one
// (someone changed or replaced it meanwhile: it keeps what it has). The time is set through the file opened
// without following a link, so a file saved in its place after the look keeps its own. markBackedUp: the
// file's archive bit is cleared against the real time as well. A missing file is no failure.
[[nodiscard]] bool FinishWriteTime(const CFolder& folder, const std::string& name,
                                   const PendingWriteTime& time, bool markBackedUp = false);

// How far the contents of a copy larger than kCopyProgressAbove have come: bytes done of the file's size,
// every kCopyProgressStep or more and once at the end. Smaller copies say nothing and cost nothing.
inline constexpr uint64_t kCopyProgressAbove = uint64_t{16} << 20;
inline constexpr uint64_t kCopyProgressStep = uint64_t{8} << 20;
using CopyProgress = std::function<void(uint64_t done, uint64_t size)>;

// While it lives, the copies made on the thread that made it (CopyFileAtomic, CPreparedCopy::Prepare)
// tell their progress to progress, on that thread. Scopes nest: the inner one hides the outer.
class CCopyProgressScope final {
  public:
    explicit CCopyProgressScope(CopyProgress progress);
    ~CCopyProgressScope();
    CCopyProgressScope(const CCopyProgressScope&) = delete;
    CCopyProgressScope& operator=(const CCopyProgressScope&) = delete;

  private:
    const CopyProgress m_progress;
    const CopyProgress* const m_pOuter;
};

// CopyFileAtomic in two steps, so that a run can write several copies before it puts them in place and
// flush them to disk together: one flush for a batch costs a fraction of one flush per replaced file.
// Prepare writes the new file unseen beside its target (an unnamed file where the file system offers
// one) and fails as CopyFileAtomic would; Publish puts it in place, flushing it first when it
// FlushesFirst and Flush has not covered it. A copy never published leaves no trace. A link is copied
// when published. One thread at a time per object.
class CPreparedCopy final {
  public:
    ~CPreparedCopy();
    CPreparedCopy(const CPreparedCopy&) = delete;
    CPreparedCopy& operator=(const CPreparedCopy&) = delete;

    // Null (and the last error set) when the copy cannot be written. The folders (Folder.h) may go once
    // this returns. provisional: a copy of a regular file that replaces nothing is named with a
    // provisional time. scanned as for CopyFileAtomic.
    [[nodiscard]] static std::unique_ptr<CPreparedCopy> Prepare(
        const CFolder& fromFolder, const std::string& fromName, const CFolder& toFolder,
        const std::string& toName, bool sourceKeepsModes = true, bool provisional = false,
        const ScannedTarget* scanned = nullptr);
    // Writes the new files of the copies that FlushesFirst to disk: one syncfs per file system, an
    // fsync per file on FUSE, whose drivers syncfs never reaches.
    [[nodiscard]] static bool Flush(const std::vector<CPreparedCopy*>& copies);
    // beforeRename, when given, runs once the replaced target proved to be the one judged, right before
    // the new file takes its name (a kept version is made there); its false fails Publish untouched.
    [[nodiscard]] bool Publish(const std::function<bool()>& beforeRename = {});
    // True when the copy replaces an older one. Once published, it holds that copy open until destroyed.
    bool Replaces() const;
    // True when its data must be on disk before it takes its name: it replaces an older copy, or it
    // arrives with its real write time (not provisional).
    bool FlushesFirst() const;
    // True when the source file read as archived (no record of its write time) as it was copied; false
    // for a link, which has no bit to clear.
    bool SourceArchived() const;
    // The write time the copy is to get once its data is on disk (pending false: it has it already).
    PendingWriteTime PendingTime() const;

  private:
    CPreparedCopy();
    struct State;
    std::unique_ptr<State> m_state;
};

// True for the hidden name that CopyFileAtomic and WriteFileAtomic give an unfinished file where the file
// system offers no unnamed one (".tandrel-", six letters or digits, the writer's process id and a check).
// A killed process may leave such a file behind; it is no file of a tree. A name without the check
// (".tandrel-backup") is a user's file like any other.
bool IsTemporaryName(const std::string& name);
// True for a temporary name that is provably this program's (its check holds) and whose writer is no
// longer running: a file a killed run left, safe to remove.
bool IsLeftoverName(const std::string& name);

// The process's current directory, without a trailing "/" ("/" itself for the root; empty on failure).
std::string CurrentFolder();
// folder made absolute against the current directory and, where it exists, resolved (links, "." and
// ".."), with a trailing "/"; "" stays "". Two spellings of one folder give the same text.
std::string ResolvedFolder(const std::string& folder);

// Well-known folders, each with a trailing "/".
std::string TempFolder();        // $TMPDIR when set and not empty, else /tmp
std::string ConfigFolder();      // $XDG_CONFIG_HOME/tandrel, by default ~/.config/tandrel
std::string StateFolder();       // $XDG_STATE_HOME/tandrel, by default ~/.local/state/tandrel
// True when folder (with or without its trailing "/") is missing, or is a folder of this user's and
// no link: settings and logs are never read from, nor written into, a folder another user controls.
bool IsOwnFolderOrMissing(const std::string& folder);
// True when the file at path (links followed) is this user's and no one else may write it.
bool IsOwnAndPrivateToWrite(const std::string& path);
// Makes StateFolder() (mode 0700) when it is missing; false when it cannot be made or is not our own.
[[nodiscard]] bool MakeStateFolder();
std::string ExecutableFolder();  // the folder of the running program (empty when unknown)

// Whole small files (profiles). ReadWholeFile follows a link (a profile may be one), fails with ENOENT
// for a missing file, with EINVAL for anything that is not a regular file and with EFBIG for one larger
// than kMaxWholeFile, which it never reads.
inline constexpr size_t kMaxWholeFile = size_t{1} << 20;
[[nodiscard]] bool ReadWholeFile(const std::string& path, std::string& data);
// Replaces the file atomically (temporary file, flush, rename); creates the config folder with mode 0700
// first when path lies in it. On failure the old file is untouched and no temporary file remains.
[[nodiscard]] bool WriteFileAtomic(const std::string& path, const std::string& data);

// Appends one line to a log: opened without following links, created with mode 0600 (the state folder,
// when path lies in it, with mode 0700 first), refused (EPERM)
// when the existing file is not a regular file owned by this user. When the file is empty, header is
// written first. Open, append, close: nothing stays open.
[[nodiscard]] bool AppendToLog(const std::string& path, const std::string& header, const std::string& line);

// The debugger output channel: standard error while TANDREL_DEBUG is set and not empty.
void DebugOutput(const std::string& text);

}  // namespace platform
