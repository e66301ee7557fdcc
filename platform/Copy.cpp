// SPDX-License-Identifier: GPL-3.0-or-later
// The one copy operation of the program: a new file is written beside the target and renamed over it
// only when it is complete and on disk, so the older copy survives every failure.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "PlatformConfig.h"
#include "platform/FileSystem.h"
#include "platform/Folder.h"
#include "platform/Medium.h"
#include "platform/Signals.h"
#include "platform/PosixUtil.h"

namespace platform {

using detail::CFd;
using detail::Fail;
using detail::RetryEintr;

namespace {

// Big enough for reflinks and few system calls, small enough that the fault seam can fire mid-file.
constexpr size_t kCopyChunk = size_t{8} << 20;

// The effective user id, read once: a copy made by root carries owners.
// The calling thread's innermost CCopyProgressScope's callback, or null.
thread_local const CopyProgress* t_copyProgress = nullptr;

// Tells the thread's copy progress how far one file's contents have come; for a small file, or on a
// thread without a scope, a comparison per chunk is all it costs.
class CProgressTicker {
  public:
    explicit CProgressTicker(off_t size)
        : m_progress(static_cast<uint64_t>(size) > kCopyProgressAbove ? t_copyProgress : nullptr),
          m_size(static_cast<uint64_t>(size)),
          m_next(std::min(kCopyProgressStep, m_size)) {}

    // The first done bytes are copied (for a file with holes: everything before done).
    void At(off_t done) {
        const auto at = static_cast<uint64_t>(done);
        if (!m_progress || at < m_next) {
            return;
        }
        (*m_progress)(at, m_size);
        m_next = at < m_size ? std::min(at + kCopyProgressStep, m_size) : at + kCopyProgressStep;
    }

  private:
    const CopyProgress* const m_progress;
    const uint64_t m_size;
    uint64_t m_next;  // the next report once this much is copied
};

bool RunsAsRoot() {
    static const bool root = geteuid() == 0;
    return root;
}

bool CopyByReadWrite(int from, int to, CProgressTicker& ticker) {
    std::vector<char> buf(size_t{1} << 17);
    off_t total = 0;
    for (;;) {
        if (FaultHit(FaultOp::CopyData)) {
            return false;
        }
        if (StopSignal() != 0) {
            return Fail(EINTR);  // the run was asked to stop: this copy is abandoned
        }
        ssize_t n = RetryEintr([&] { return read(from, buf.data(), buf.size()); });
        if (n < 0) {
            return Fail();
        }
        if (n == 0) {
            return true;
        }
        for (ssize_t done = 0; done < n;) {
            ssize_t written =
                RetryEintr([&] { return write(to, buf.data() + done, static_cast<size_t>(n - done)); });
            if (written < 0) {
                return Fail();
            }
            done += written;
        }
        total += n;
        ticker.At(total);
    }
}

// size: the source's size when it was opened. A short copy that reaches it has met the end of the file,
// so the call that would confirm it with 0 is spared (a call per file of a tree of small files).
bool CopyContents(int from, int to, off_t size) {
    CProgressTicker ticker(size);
#ifdef TANDREL_HAVE_COPY_FILE_RANGE
    bool first = true;
    off_t written = 0;
    for (;;) {
        if (FaultHit(FaultOp::CopyData)) {
            return false;
        }
        if (StopSignal() != 0) {
            return Fail(EINTR);  // the run was asked to stop: this copy is abandoned
        }
        ssize_t n = RetryEintr([&] { return copy_file_range(from, nullptr, to, nullptr, kCopyChunk, 0); });
        if (n == 0) {
            return true;
        }
        if (n < 0) {
            // Only a kernel or file-system pair without the in-kernel copy falls back, and only before
            // anything was copied; a full disk or a size limit is a real failure.
            if (first && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
                return CopyByReadWrite(from, to, ticker);
            }
            return Fail();
        }
        first = false;
        if (static_cast<size_t>(n) == kCopyChunk) {
            // A big file: the disk starts writing each full chunk while the next is copied, instead of
            // all of it in the flush that makes the copy durable. Only a hint.
            (void)sync_file_range(to, written, n, SYNC_FILE_RANGE_WRITE);
        }
        written += n;
        ticker.At(written);
        if (static_cast<size_t>(n) < kCopyChunk && written >= size) {
            return true;
        }
    }
#else
    return CopyByReadWrite(from, to, ticker);
#endif
}

// Copies bytes [start, end) of from to the same place in to.
bool CopyRange(int from, int to, off_t start, off_t end, CProgressTicker& ticker) {
    std::vector<char> buf;
    while (start < end) {
        if (FaultHit(FaultOp::CopyData)) {
            return false;
        }
        if (StopSignal() != 0) {
            return Fail(EINTR);  // the run was asked to stop: this copy is abandoned
        }
        const size_t want = static_cast<size_t>(std::min<off_t>(end - start, static_cast<off_t>(kCopyChunk)));
        ssize_t n = -1;
#ifdef TANDREL_HAVE_COPY_FILE_RANGE
        if (buf.empty()) {
            off_t in = start;
            off_t out = start;
            n = RetryEintr([&] { return copy_file_range(from, &in, to, &out, want, 0); });
            if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
                buf.resize(size_t{1} << 17);  // no kernel copy between these two: read and write
            }
        }
#endif
        if (!buf.empty()) {
            n = RetryEintr([&] { return pread(from, buf.data(), std::min(want, buf.size()), start); });
            for (ssize_t done = 0; n > 0 && done < n;) {
                const ssize_t written = RetryEintr([&] {
                    return pwrite(to, buf.data() + done, static_cast<size_t>(n - done), start + done);
                });
                if (written < 0) {
                    return Fail();
                }
                done += written;
            }
        }
        if (n < 0) {
            return Fail();
        }
        if (n == 0) {
            break;  // the file shrank since it was looked at
        }
        start += n;
        ticker.At(start);
    }
    return true;
}

// Copies a file with holes region by region, so that the copy has the same holes (a disk image of 4 GiB
// holding 4 KiB of data takes 4 KiB, not 4 GiB). False with EINVAL before anything was written where the
// file system cannot say where its data lies.
bool CopySparse(int from, int to, off_t size) {
    CProgressTicker ticker(size);
    for (off_t data = 0;;) {
        data = lseek(from, data, SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO) {
                break;  // no data after this point: a hole up to the end
            }
            return Fail();
        }
        const off_t hole = lseek(from, data, SEEK_HOLE);
        if (hole < 0) {
            return Fail();
        }
        if (!CopyRange(from, to, data, hole, ticker)) {
            return false;
        }
        data = hole;
    }
    if (ftruncate(to, size) != 0) {
        return Fail();
    }
    ticker.At(size);
    return true;
}

// Opens the source, the entry name of the folder dir, without touching its access time where the
// kernel lets us.
int OpenSource(int dir, const char* name) {
    const int flags = O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
    int fd = RetryEintr([&] { return openat(dir, name, flags | O_NOATIME); });
    if (fd < 0 && errno == EPERM) {
        fd = RetryEintr([&] { return openat(dir, name, flags); });
    }
    return fd;
}

// Errors of drivers that keep no owners or permission bits (FAT, exFAT, NTFS through FUSE): nothing is
// wrong with the copy itself.
bool NoModesHere(int err) {
    return err == ENOSYS || err == EPERM || err == EOPNOTSUPP;
}

// The permission bits of a copy. From a medium that keeps them, the source's; from one whose driver makes
// them up (every file 0777 on exFAT and NTFS), none of those: a new file gets what a new file of this user
// gets, a replaced one keeps its own. The write bits follow the source's read-only state either way.
mode_t CopyMode(const struct stat& source, bool sourceKeepsModes, const struct stat* old) {
    // Set-id bits are never carried: a copy made by root from a disk mounted nosuid would otherwise turn
    // a stranger's file into a privileged program here (Windows has no such bits to keep).
    if (sourceKeepsModes) {
        return source.st_mode & 01777;
    }
    const mode_t mode = old ? (old->st_mode & 01777) | S_IWUSR : NewFileMode();
    return (source.st_mode & S_IWUSR) ? mode : mode & ~0222u;
}

// Gives the new file its mode. A medium without permission bits keeps at most a read-only state (FAT's
// attribute shows as missing write bits), and some drivers refuse even that: the copy stands.
bool SetCopyMode(int fd, mode_t mode) {
    if (FaultHit(FaultOp::CopyMode)) {
        errno = LastError().Errno();
    } else if (fchmod(fd, mode) == 0) {
        return true;
    }
    if (!NoModesHere(errno)) {
        return Fail();
    }
    struct stat st;
    if (fstat(fd, &st) == 0) {
        (void)fchmod(fd, (mode & S_IWUSR) ? (st.st_mode & 07777) | S_IWUSR : st.st_mode & 07777 & ~0222u);
    }
    return true;
}

// The provisional time of a copy of a file written at sourceSeconds: older by more than any medium's
// step, so that a copy cut short reads as older than its source in both directions. false for a source
// so old that no such time can be written (before 1901, the end of 32-bit times).
bool ProvisionalFor(int64_t sourceSeconds, int64_t& provisional) {
    provisional = std::min(kProvisionalWriteTime, sourceSeconds - kProvisionalMargin);
    return provisional >= INT32_MIN;
}

// Writes the new file unseen beside its target: contents, archive record, extended attributes, owner,
// mode and times. st receives the details of the source as it was copied; archived whether it still had
// to be marked as backed up. provisional (in and out): an unnamed file gets a provisional time instead of
// the source's, given in provisionalTime; false when it did not (a named file, or a time the medium
// cannot hold).
bool WriteRegular(int fromDir, const char* from, detail::CTempFile& temp, bool sourceKeepsModes,
                  const struct stat* old, struct stat& st, bool& archived, bool& provisional,
                  int64_t& provisionalTime) {
    CFd source(OpenSource(fromDir, from));
    if (!source.Valid()) {
        return Fail();
    }
    if (fstat(source.Get(), &st) != 0) {
        return Fail();
    }
    if (!S_ISREG(st.st_mode)) {
        return Fail(EINVAL);  // replaced by something else since it was looked at
    }
    // The mode the copy ends with, so that most copies need no change of it afterwards (umask and a
    // folder's default ACL may still take bits away). Owner-write stays, for the archive record; a
    // file with a temporary name, which others might open meanwhile, starts private.
    const mode_t mode = CopyMode(st, sourceKeepsModes, old);
    if (!temp.Create(0600, (mode & 0777) | S_IWUSR)) {
        return false;
    }
    // Fewer blocks than the size needs: the file has holes (st_blocks counts 512-byte units).
    const bool sparse = st.st_size > 0 && st.st_blocks * 512 < st.st_size;
    if (!sparse || !CopySparse(source.Get(), temp.Fd(), st.st_size)) {
        if (sparse && LastError().Errno() != EINVAL) {
            return false;
        }
        // Where the file system cannot find the holes, the whole file from its start.
        if (sparse && (lseek(source.Get(), 0, SEEK_SET) != 0 || ftruncate(temp.Fd(), 0) != 0)) {
            return Fail();
        }
        if (!CopyContents(source.Get(), temp.Fd(), st.st_size)) {
            return false;
        }
    }
    if (!detail::CopyAttributes(source.Get(), temp.Fd(), st, sourceKeepsModes, archived)) {
        return false;
    }
    // What the new file got: owner, group and mode are changed only where they differ (a look costs a
    // fraction of a change, and most copies need none).
    struct stat made;
    const bool looked = fstat(temp.Fd(), &made) == 0;
    bool modeRight = looked && (made.st_mode & 07777) == mode;
    if (RunsAsRoot() && (sourceKeepsModes || old)) {
        // Root copies another user's file for that user (a made-up owner is no user's, so a replaced
        // file keeps its own); a file system without owners may refuse.
        const uid_t uid = sourceKeepsModes ? st.st_uid : old->st_uid;
        const gid_t gid = sourceKeepsModes ? st.st_gid : old->st_gid;
        if (!looked || made.st_uid != uid || made.st_gid != gid) {
            // A refusal leaves root the owner, as a copy by root without this step would. (A cast to void
            // does not quiet the fortified declaration's unused-result warning.)
            [[maybe_unused]] const int given = fchown(temp.Fd(), uid, gid);
            modeRight = false;  // fchown may clear bits
        }
    }
    if (!modeRight && !SetCopyMode(temp.Fd(), mode)) {  // after fchown, which clears bits
        return false;
    }
    provisional = provisional && !temp.Named() && ProvisionalFor(st.st_mtim.tv_sec, provisionalTime);
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (provisional) {
        times[1] = {static_cast<time_t>(provisionalTime), 0};
    }
    if (futimens(temp.Fd(), times) != 0) {
        return Fail();
    }
    // A time before 1980 is one some media cannot hold (the kernel moves it to their first): where it did
    // not stick, the copy is flushed before it takes its name and gets its real time at once.
    struct stat set;
    if (provisional && provisionalTime < kProvisionalWriteTime &&
        (fstat(temp.Fd(), &set) != 0 || set.st_mtim.tv_sec != provisionalTime)) {
        provisional = false;
        times[1] = st.st_mtim;
        if (futimens(temp.Fd(), times) != 0) {
            return Fail();
        }
    }
    return true;
}

// True when the entry name of dirFd is still the one seen (same file, size and write time), looked at
// through a handle on it, which held receives: a copy replaces only the file the run judged.
bool StillTheSame(int dirFd, const std::string& name, const struct stat& seen, CFd& held) {
    held.Reset(RetryEintr([&] { return openat(dirFd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC); }));
    struct stat now;
    if (!held.Valid() || fstat(held.Get(), &now) != 0 || now.st_dev != seen.st_dev ||
        now.st_ino != seen.st_ino || now.st_size != seen.st_size ||
        now.st_mtim.tv_sec != seen.st_mtim.tv_sec || now.st_mtim.tv_nsec != seen.st_mtim.tv_nsec) {
        return Fail(EEXIST);
    }
    return true;
}

bool CopyLink(int fromDir, const std::string& from, const struct stat& st, int dirFd, const std::string& name,
              bool replacing) {
    std::vector<char> target(static_cast<size_t>(st.st_size) + 1);
    for (;;) {
        ssize_t n = readlinkat(fromDir, from.c_str(), target.data(), target.size());
        if (n < 0) {
            return Fail();
        }
        if (static_cast<size_t>(n) < target.size()) {
            target.resize(static_cast<size_t>(n));
            break;
        }
        target.resize(target.size() * 2);  // the link grew since lstat
    }
    target.push_back('\0');
    std::string tempName;
    for (int attempt = 0;; ++attempt) {
        tempName = detail::TempName();
        if (symlinkat(target.data(), dirFd, tempName.c_str()) == 0) {
            break;
        }
        if (errno != EEXIST || attempt == 100) {
            return Fail();
        }
    }
    detail::CTempName made(dirFd, tempName);
    if (RunsAsRoot()) {
        // As for files: a refusal leaves root the owner of the link.
        [[maybe_unused]] const int given =
            fchownat(dirFd, tempName.c_str(), st.st_uid, st.st_gid, AT_SYMLINK_NOFOLLOW);
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (utimensat(dirFd, tempName.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
        return Fail();
    }
    if (FaultHit(FaultOp::CopyRename)) {
        return false;
    }
    const bool renamed = replacing ? renameat(dirFd, tempName.c_str(), dirFd, name.c_str()) == 0 || Fail()
                                   : detail::RenameNoReplace(dirFd, tempName.c_str(), dirFd, name.c_str());
    if (!renamed) {
        return false;
    }
    made.Release();
    return true;
}

}  // namespace

struct CPreparedCopy::State {
    CFd fromDir;            // a link's folder, read when published
    std::string from;       // the source's name in its folder
    std::string name;       // the target's name in its folder
    struct stat source {};  // a link's details, read when prepared
    bool link = false;
    bool replacing = false;
    bool flushFirst = false;  // the data must be on disk before the copy takes its name
    bool flushed = false;
    bool archived = false;     // the source had no record of its write time when it was copied
    bool provisional = false;  // named with a provisional time
    int64_t provisionalTime = kProvisionalWriteTime;
    struct stat target {};  // the file replaced, as it was when the copy was written
    CFd dir;                // before temp: the temporary file is removed through it
    CFd old;                // the copy replaced, once published
    std::unique_ptr<detail::CTempFile> temp;
};

CCopyProgressScope::CCopyProgressScope(CopyProgress progress)
    : m_progress(std::move(progress)), m_pOuter(t_copyProgress) {
    t_copyProgress = &m_progress;
}

CCopyProgressScope::~CCopyProgressScope() {
    t_copyProgress = m_pOuter;
}

CPreparedCopy::CPreparedCopy() : m_state(std::make_unique<State>()) {}
CPreparedCopy::~CPreparedCopy() = default;

std::unique_ptr<CPreparedCopy> CPreparedCopy::Prepare(const CFolder& fromFolder, const std::string& from,
                                                      const CFolder& toFolder, const std::string& to,
                                                      bool sourceKeepsModes, bool provisional,
                                                      const ScannedTarget* scanned) {
    std::unique_ptr<CPreparedCopy> copy(new CPreparedCopy());
    State& state = *copy->m_state;
    const int fromDir = detail::FolderFd(fromFolder);
    if (fstatat(fromDir, from.c_str(), &state.source, AT_SYMLINK_NOFOLLOW) != 0) {
        Fail();
        return nullptr;
    }
    if (S_ISDIR(state.source.st_mode)) {
        Fail(EISDIR);
        return nullptr;
    }
    if (!S_ISREG(state.source.st_mode) && !S_ISLNK(state.source.st_mode)) {
        Fail(EINVAL);  // pipes, sockets and devices are not copied
        return nullptr;
    }
    state.name = to;
    if (state.name.empty() || state.name == "." || state.name == "..") {
        Fail(EISDIR);
        return nullptr;
    }
    state.dir.Reset(fcntl(detail::FolderFd(toFolder), F_DUPFD_CLOEXEC, 0));
    if (!state.dir.Valid()) {
        Fail();
        return nullptr;
    }
    struct stat& old = state.target;
    state.replacing = fstatat(state.dir.Get(), state.name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
    if (!state.replacing && errno != ENOENT) {
        Fail();
        return nullptr;
    }
    if (state.replacing) {
        if (S_ISDIR(old.st_mode)) {
            Fail(EISDIR);
            return nullptr;
        }
        // Windows keeps a read-only file even from its administrator; the caller lifts the bit when asked.
        if (S_ISREG(old.st_mode) && (old.st_mode & S_IWUSR) == 0) {
            Fail(EACCES);
            return nullptr;
        }
    }
    // What stands there now must be what the scan saw: nothing, or that file. Anything else another
    // program saved meanwhile, and it is not this run's to replace.
    if (scanned && state.replacing &&
        (!scanned->exists ||
         WriteTimeFromUnix(old.st_mtim.tv_sec, old.st_mtim.tv_nsec) != scanned->writeTime)) {
        Fail(EEXIST);
        return nullptr;
    }
    state.from = from;
    state.link = S_ISLNK(state.source.st_mode);
    if (state.link) {
        state.fromDir.Reset(fcntl(fromDir, F_DUPFD_CLOEXEC, 0));
        if (!state.fromDir.Valid()) {
            Fail();
            return nullptr;
        }
    } else {
        // A link is made when published: there is no unseen form of one.
        state.temp = std::make_unique<detail::CTempFile>(state.dir.Get());
        // A replaced copy is flushed before the name moves (Publish): it gets its real time at once.
        state.provisional = provisional && !state.replacing;
        // Only with an unnamed file: the FUSE media that lack one (FAT, exFAT, NTFS, sshfs) show a
        // later look at the time through their own caches, which cannot be trusted to tell whether the
        // file is still the copy. There the copy gets its real time at once.
        if (!WriteRegular(fromDir, from.c_str(), *state.temp, sourceKeepsModes,
                          state.replacing && S_ISREG(old.st_mode) ? &old : nullptr, state.source,
                          state.archived, state.provisional, state.provisionalTime)) {
            return nullptr;
        }
        // A copy that arrives with its original's time must arrive whole: after a power cut an empty
        // file with that time would look done to every later run. An older copy it replaces would be
        // lost as well.
        state.flushFirst = state.replacing || !state.provisional;
    }
    return copy;
}

bool CPreparedCopy::Flush(const std::vector<CPreparedCopy*>& copies) {
    // Per file system: whether one syncfs covers it, or (FUSE) only an fsync per file reaches its disk.
    std::vector<std::pair<dev_t, bool>> systems;
    for (CPreparedCopy* copy : copies) {
        State& state = *copy->m_state;
        if (!state.flushFirst || state.flushed || !state.temp) {
            continue;
        }
        const int fd = state.temp->Fd();
        struct stat st;
        if (fstat(fd, &st) != 0) {
            return Fail();
        }
        auto system = std::find_if(systems.begin(), systems.end(), [&](const std::pair<dev_t, bool>& known) {
            return known.first == st.st_dev;
        });
        if (system == systems.end()) {
            const bool bySyncfs = !detail::OnlyFsyncReachesDisk(fd);
            // Reports the write errors of every file written since this one was opened, the later
            // copies of the batch included (Linux 5.8 and later).
            if (bySyncfs && RetryEintr([&] { return syncfs(fd); }) != 0) {
                return Fail();
            }
            system = systems.insert(systems.end(), {st.st_dev, bySyncfs});
        }
        if (!system->second && RetryEintr([&] { return fsync(fd); }) != 0) {
            return Fail();
        }
    }
    for (CPreparedCopy* copy : copies) {
        copy->m_state->flushed = true;
    }
    return true;
}

bool CPreparedCopy::Publish(const std::function<bool()>& beforeRename) {
    State& state = *m_state;
    // A replacement looks last of all (after its flush) whether the target is still the file it judged.
    const auto stillTheSame = [&] {
        return !state.replacing || StillTheSame(state.dir.Get(), state.name, state.target, state.old);
    };
    if (state.link) {
        return stillTheSame() && (!beforeRename || beforeRename()) &&
               CopyLink(state.fromDir.Get(), state.from, state.source, state.dir.Get(), state.name,
                        state.replacing);
    }
    // When an older copy is replaced, the new data must be on disk before the name moves, or a power cut
    // could leave an empty file where the old copy was; so too for a new copy that takes its real time
    // now. One named with the provisional time is flushed with the rest at the run's end: a flush per
    // new file would make a first backup many times slower.
    if (state.flushFirst && !state.flushed && RetryEintr([&] { return fsync(state.temp->Fd()); }) != 0) {
        return Fail();
    }
    // The handle on the older copy, taken only now (StillTheSame) so that a copy waiting to be published
    // holds two files, not three, keeps its blocks until this object is destroyed: freeing them is most
    // of what a rename over it costs, and the owner may destroy the copy on another thread.
    if (!stillTheSame() || (beforeRename && !beforeRename())) {
        return false;
    }
    // A temporary file with a name from the start means a file system without unnamed ones: FAT, exFAT,
    // NTFS and sshfs through FUSE. fusefat gives a renamed file the time of the rename, which would make
    // every copy newer than its original: the time is set once more, through the file itself (a file
    // saved under the name right after the rename keeps its own).
    CFd file(state.temp->Named() ? fcntl(state.temp->Fd(), F_DUPFD_CLOEXEC, 0) : -1);
    if (!state.temp->Publish(state.name, FaultOp::CopyRename, !state.replacing)) {
        return false;
    }
    if (file.Valid()) {
        const struct timespec times[2] = {state.source.st_atim, state.source.st_mtim};
        (void)futimens(file.Get(), times);  // best effort
    }
    // Only the older copy's handle is kept: a run may hold many published copies.
    state.temp.reset();
    state.dir.Reset();
    return true;
}

bool CPreparedCopy::Replaces() const {
    return m_state->replacing;
}

bool CPreparedCopy::FlushesFirst() const {
    return m_state->flushFirst;
}

bool CPreparedCopy::SourceArchived() const {
    return m_state->archived;
}

PendingWriteTime CPreparedCopy::PendingTime() const {
    const State& state = *m_state;
    if (!state.provisional) {
        return {};
    }
    return {true, state.source.st_mtim.tv_sec, state.source.st_mtim.tv_nsec, state.provisionalTime};
}

bool CopyFileAtomic(const CFolder& fromFolder, const std::string& fromName, const CFolder& toFolder,
                    const std::string& toName, bool sourceKeepsModes, PendingWriteTime* pending,
                    const ScannedTarget* scanned) {
    const std::unique_ptr<CPreparedCopy> copy = CPreparedCopy::Prepare(
        fromFolder, fromName, toFolder, toName, sourceKeepsModes, pending != nullptr, scanned);
    if (!copy || !copy->Publish()) {
        return false;
    }
    if (pending) {
        *pending = copy->PendingTime();
    }
    return true;
}

namespace {

// Writes the archive record of the file fd (whose details are st) to match its write time, lifting the
// owner-write bit of a read-only copy around it, as clearing the bit does. Best effort: a file that keeps its
// mark is copied once more by a later backup, nothing is lost.
void MarkBackedUp(int fd, const struct stat& st) {
    const std::string value = std::to_string(WriteTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec));
    const auto write = [&] {
        return RetryEintr([&] { return fsetxattr(fd, detail::kArchiveAttr, value.data(), value.size(), 0); });
    };
    if (write() == 0 || errno != EACCES || (st.st_mode & S_IWUSR) != 0 || st.st_uid != geteuid() ||
        fchmod(fd, (st.st_mode & 07777) | S_IWUSR) != 0) {
        return;
    }
    (void)write();
    (void)fchmod(fd, st.st_mode & 07777);
}

}  // namespace

bool FinishWriteTime(const CFolder& folder, const std::string& fileName, const PendingWriteTime& time,
                     bool markBackedUp) {
    const int dir = detail::FolderFd(folder);
    const char* const name = fileName.c_str();
    // Through the file itself: a look followed by a change by name would give a file that an editor
    // saved in between the source's old time, and the next synchronize would copy over it.
    CFd fd(RetryEintr(
        [&] { return openat(dir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC); }));
    struct stat st;
    if (!fd.Valid() && errno == EACCES) {
        // A copy its owner may not read (the source's mode gave the owner nothing): by name, the one
        // way left.
        if (fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            return Fail();
        }
    } else if (!fd.Valid()) {
        // Gone, or something else than the copy stands there now (a link, a pipe): it keeps what it has.
        return errno == ENOENT || errno == ELOOP || errno == ENXIO || Fail();
    } else if (fstat(fd.Get(), &st) != 0) {
        return Fail();
    }
    if (!S_ISREG(st.st_mode) || st.st_mtim.tv_sec != time.provisional || st.st_mtim.tv_nsec != 0) {
        return true;  // changed or replaced since it was copied: what it has now is someone's
    }
    const struct timespec times[2] = {
        {0, UTIME_OMIT}, {static_cast<time_t>(time.seconds), static_cast<long>(time.nanoseconds)}};
    if (!fd.Valid()) {
        return utimensat(dir, name, times, AT_SYMLINK_NOFOLLOW) == 0 || Fail();
    }
    if (futimens(fd.Get(), times) != 0) {
        return Fail();
    }
    // Against the time the medium kept, which the next scan reads.
    if (markBackedUp && fstat(fd.Get(), &st) == 0) {
        MarkBackedUp(fd.Get(), st);
    }
    return true;
}

}  // namespace platform
