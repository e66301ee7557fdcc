// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Building blocks shared by the sources of platform/ (never included elsewhere): file descriptors,
// EINTR retries, turning a statx record into a FileInfo, the archive record, and temporary files that
// get their real name only by an atomic rename. Any thread.

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/FaultSeam.h"
#include "platform/FileSystem.h"
#include "platform/Error.h"

namespace platform::detail {

// The extended attribute that records "archive bit cleared": the decimal write time the file had then.
inline constexpr char kArchiveAttr[] = "user.tandrel.archive";

// Calls f until it does not fail with EINTR.
template <class F>
auto RetryEintr(F f) {
    decltype(f()) result;
    do {
        result = f();
    } while (result == -1 && errno == EINTR);
    return result;
}

// Records errno as the last error and returns false; for "return Fail();" right after a failed call.
inline bool Fail() {
    SetLastError(errno);
    return false;
}
inline bool Fail(int err) {
    SetLastError(err);
    return false;
}

// Owns one file descriptor.
class CFd final {
  public:
    CFd() = default;
    explicit CFd(int fd) : m_fd(fd) {}
    ~CFd() { Reset(); }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    void Reset(int fd = -1);
    int Release() {
        int fd = m_fd;
        m_fd = -1;
        return fd;
    }

  private:
    int m_fd = -1;  // -1 when nothing is owned
};

// True for the answers of a file system without extended attributes: ENOTSUP, ENOSYS, and EIO, which an
// rclone mount gives to every attribute call (a failing disk fails the copy's data first).
inline bool NoExtendedAttributes(int err) {
    return err == ENOTSUP || err == ENOSYS || err == EIO;
}

// statx of name relative to dirFd (AT_FDCWD for a path), never following a final link.
[[nodiscard]] bool StatxNoFollow(int dirFd, const char* name, struct statx& st);

// Fills info from a statx record of name relative to dirFd; the archive bit is left set (see ReadArchive).
// What the mode bits deny is asked of the kernel, which also knows the ACLs: a system call only for the
// rare entry the bits refuse.
void FillInfo(const struct statx& st, FileInfo& info, int dirFd, const char* name);

// Whether this process may read an entry with these owner, group and mode bits (for a folder: list and
// enter it). Computed from the effective ids and groups read once per process; root reads everything.
// ACLs and capabilities other than root's are not consulted.
bool MayRead(uint32_t mode, uint32_t uid, uint32_t gid);

// Whether a record read as value (n bytes, or n <= 0 for none) leaves the archive bit of a file whose
// write time is writeTime set.
bool ArchiveFromRecord(const char* value, ssize_t n, uint64_t writeTime);

// The archive bit of the entry name of the folder dirFd (AT_FDCWD: name is a path; no link following)
// whose current write time is writeTime: set unless a record equal to writeTime is present. Read
// failures count as set.
bool ReadArchiveAt(int dirFd, const std::string& name, uint64_t writeTime);

// A path that reaches the entry name of the folder dirFd through the folder's handle
// ("/proc/self/fd/N/name"; with name empty, whatever the handle holds), or name itself for AT_FDCWD.
// Only for the calls that have no *at form: the extended-attribute calls (their *at forms came with
// Linux 6.13), and linkat of an unnamed file by a process without CAP_DAC_READ_SEARCH. Valid while
// dirFd is open; never parsed back.
std::string ProcPath(int dirFd, const std::string& name);

// The flags of a handle that names a folder without listing it (a held folder of a run's trees).
inline constexpr int kHandleFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

// The folder relative below the folder root ("a/b/", "" for root itself) as a new handle with
// kHandleFlags, or -1 with errno set. Without followLinks no step follows a link: ELOOP when one is a
// link. With create, missing folders are made with mode (less the umask); one that another process
// makes meanwhile counts as made. The one way folders along a path are made.
[[nodiscard]] int OpenBeneath(int root, std::string_view relative, bool create, bool followLinks = false,
                              unsigned mode = 0777);

// Copies the archive record and the user's extended attributes of the open file from (whose details are
// st) to the new file to, with withAcl its access ACL too; what the target's medium cannot keep is left
// out. archived receives whether the source still had to be marked as backed up.
[[nodiscard]] bool CopyAttributes(int from, int to, const struct stat& st, bool withAcl, bool& archived);

// The superblock magic of every FUSE mount, "fuse" and "fuseblk" alike (statfs f_type).
inline constexpr unsigned long kFuseMagic = 0x65735546;

// True when the file system of fd is a FUSE one: syncfs does not reach its driver, which writes to its
// disk only when asked with an fsync of a file or folder of it. False when it cannot be told.
bool OnlyFsyncReachesDisk(int fd);

// A hidden name for a temporary file: ".tandrel-", six random letters or digits, "-", the process id,
// "-" and four hex digits of TempNameCheck over what stands between the first "-" and the last.
std::string TempName();
unsigned TempNameCheck(std::string_view body);

// Renames from of the folder fromDir to to of the folder toDir, never over anything that stands at to:
// EEXIST then. A driver that cannot promise that in one step (many FUSE ones) gets a look first.
[[nodiscard]] bool RenameNoReplace(int fromDir, const char* from, int toDir, const char* to);

// A new file in a folder that receives its real name only by Publish, which renames it over the
// target in one step. Until then it is unnamed (O_TMPFILE) or has a hidden temporary name; destroying
// an unpublished file removes it. Cleanup never replaces the last error of the failure that caused it.
class CTempFile final {
  public:
    explicit CTempFile(int dirFd) : m_dirFd(dirFd) {}
    ~CTempFile();
    CTempFile(const CTempFile&) = delete;
    CTempFile& operator=(const CTempFile&) = delete;

    // Opens the new file for writing with mode (umask applies); an unnamed one, which no other process
    // can open, with unnamedMode where that is given.
    [[nodiscard]] bool Create(unsigned mode, unsigned unnamedMode = ~0u);
    int Fd() const { return m_fd.Get(); }
    // True while the file has a temporary name (always so where the file system has no unnamed files).
    bool Named() const { return !m_tempName.empty(); }
    // Gives the file a temporary name if it has none, lets fault op fire, then renames it to name.
    // With fresh set (nothing stood at name a moment ago) the file never replaces anything: an unnamed one
    // is linked to name directly, a named one renamed without replacing, and should something have
    // appeared at name meanwhile, Publish fails with EEXIST.
    // On failure the temporary name is gone again and name is untouched.
    [[nodiscard]] bool Publish(const std::string& name, FaultOp op, bool fresh = false);

  private:
    [[nodiscard]] bool LinkUnnamed();
    // Links the unnamed file to name: 0 on success, else the errno.
    [[nodiscard]] int LinkUnnamedAs(const std::string& name);

    const int m_dirFd;
    CFd m_fd;
    std::string m_tempName;  // the entry to remove on destruction; empty while unnamed or published
};

// Removes a temporary entry on destruction unless released; for links made under a temporary name.
class CTempName final {
  public:
    CTempName(int dirFd, std::string name) : m_dirFd(dirFd), m_name(std::move(name)) {}
    ~CTempName();
    CTempName(const CTempName&) = delete;
    CTempName& operator=(const CTempName&) = delete;
    void Release() { m_name.clear(); }

  private:
    const int m_dirFd;
    std::string m_name;  // empty once released
};

}  // namespace platform::detail
