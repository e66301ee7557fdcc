// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PosixUtil.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdio>
#include <vector>

#include "PlatformConfig.h"

namespace platform::detail {

namespace {

struct Identity {
    uid_t euid = 0;
    gid_t egid = 0;
    std::vector<gid_t> groups;
};

Identity LoadIdentity() {
    Identity id;
    id.euid = geteuid();
    id.egid = getegid();
    int count = getgroups(0, nullptr);
    if (count > 0) {
        id.groups.resize(static_cast<size_t>(count));
        count = getgroups(count, id.groups.data());
        id.groups.resize(count > 0 ? static_cast<size_t>(count) : 0);
    }
    return id;
}

// Read once: a scan asks for every file, and the ids of this program never change while it runs.
const Identity& ProcessIdentity() {
    static const Identity id = LoadIdentity();
    return id;
}

}  // namespace

void CFd::Reset(int fd) {
    if (m_fd >= 0) {
        // Linux releases the descriptor even when close reports EINTR: never retry.
        close(m_fd);
    }
    m_fd = fd;
}

bool StatxNoFollow(int dirFd, const char* name, struct statx& st) {
    constexpr unsigned kMask = STATX_TYPE | STATX_MODE | STATX_UID | STATX_GID | STATX_MTIME | STATX_SIZE;
    int rc = RetryEintr([&] {
        return statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | AT_STATX_SYNC_AS_STAT, kMask, &st);
    });
    return rc == 0 || Fail();
}

void FillInfo(const struct statx& st, FileInfo& info, int dirFd, const char* name) {
    const uint32_t mode = st.stx_mode;
    if (S_ISREG(mode)) {
        info.kind = EntryKind::File;
    } else if (S_ISDIR(mode)) {
        info.kind = EntryKind::Folder;
    } else if (S_ISLNK(mode)) {
        info.kind = EntryKind::Link;
    } else {
        info.kind = EntryKind::Other;
    }
    info.writeTime = WriteTimeFromUnix(st.stx_mtime.tv_sec, st.stx_mtime.tv_nsec);
    info.size = st.stx_size;
    info.readOnly = info.kind != EntryKind::Link && (mode & S_IWUSR) == 0;
    info.archive = true;
    info.readable = info.kind == EntryKind::Link || MayRead(mode, st.stx_uid, st.stx_gid) ||
                    faccessat(dirFd, name, info.kind == EntryKind::Folder ? R_OK | X_OK : R_OK,
                              AT_EACCESS | AT_SYMLINK_NOFOLLOW) == 0;
    info.device = makedev(st.stx_dev_major, st.stx_dev_minor);
    info.mode = mode & 07777;
}

bool MayRead(uint32_t mode, uint32_t uid, uint32_t gid) {
    const Identity& id = ProcessIdentity();
    if (id.euid == 0) {
        return true;
    }
    // A folder must be listed and entered to be scanned; a file only opened.
    const uint32_t need = S_ISDIR(mode) ? 5u : 4u;  // r-x or r--
    uint32_t bits;
    if (uid == id.euid) {
        bits = (mode >> 6) & 7u;
    } else if (gid == id.egid || std::find(id.groups.begin(), id.groups.end(), gid) != id.groups.end()) {
        bits = (mode >> 3) & 7u;
    } else {
        bits = mode & 7u;
    }
    return (bits & need) == need;
}

bool ArchiveFromRecord(const char* value, ssize_t n, uint64_t writeTime) {
    if (n <= 0) {
        return true;  // no record, no xattr support, or unreadable: treat as not yet backed up
    }
    uint64_t recorded = 0;
    auto [end, ec] = std::from_chars(value, value + n, recorded);
    return ec != std::errc() || end != value + n || recorded != writeTime;
}

namespace {

// getxattrat(2) arrived with Linux 6.13; the C library here has neither wrapper nor number. The number
// is the same on every architecture that uses the common system-call table.
#if defined(__NR_getxattrat)
constexpr long kSysGetxattrat = __NR_getxattrat;
#elif defined(__x86_64__) || defined(__aarch64__)
constexpr long kSysGetxattrat = 464;
#else
constexpr long kSysGetxattrat = -1;
#endif

struct XattrArgs {
    uint64_t value;
    uint32_t size;
    uint32_t flags;
};

std::atomic<bool> g_noGetxattrat{kSysGetxattrat < 0};

}  // namespace

bool ReadArchiveAt(int dirFd, const std::string& name, uint64_t writeTime) {
    char value[32];
    if (!g_noGetxattrat.load(std::memory_order_relaxed)) {
        // One component to look up instead of the folder handle's /proc path and the name: a scan reads
        // this for every file.
        XattrArgs args{reinterpret_cast<uintptr_t>(value), sizeof value, 0};
        ssize_t n = RetryEintr([&] {
            return static_cast<ssize_t>(syscall(kSysGetxattrat, dirFd, name.c_str(), AT_SYMLINK_NOFOLLOW,
                                                kArchiveAttr, &args, sizeof args));
        });
        if (n >= 0 || errno != ENOSYS) {
            return ArchiveFromRecord(value, n, writeTime);
        }
        g_noGetxattrat = true;  // an older kernel: the path route from now on
    }
    const std::string path = ProcPath(dirFd, name);
    const ssize_t n = RetryEintr([&] { return lgetxattr(path.c_str(), kArchiveAttr, value, sizeof value); });
    return ArchiveFromRecord(value, n, writeTime);
}

std::string ProcPath(int dirFd, const std::string& name) {
    if (dirFd == AT_FDCWD) {
        return name;
    }
    std::string path = "/proc/self/fd/" + std::to_string(dirFd);
    return name.empty() ? path : path.append("/").append(name);
}

bool OnlyFsyncReachesDisk(int fd) {
    struct statfs fs;
    return fstatfs(fd, &fs) == 0 && static_cast<unsigned long>(fs.f_type) == kFuseMagic;
}

std::string TempName() {
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char random[6] = {};
    if (getrandom(random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random)) {
        // Only uniqueness matters here, and O_EXCL or EEXIST retries catch any clash.
        static thread_local unsigned counter = 0;
        uint64_t seed =
            (static_cast<uint64_t>(getpid()) << 20) ^ ++counter ^ reinterpret_cast<uintptr_t>(&counter);
        for (unsigned char& c : random) {
            c = static_cast<unsigned char>(seed);
            seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
            c ^= static_cast<unsigned char>(seed >> 56);
        }
    }
    std::string body;
    for (unsigned char c : random) {
        body += kLetters[c % (sizeof kLetters - 1)];
    }
    // The writer's process id and a check over both: a later run can tell a file left by a killed run
    // from a user's file of a similar name, and from a file that a running copy still writes.
    body.append("-").append(std::to_string(getpid()));
    char check[8];
    snprintf(check, sizeof check, "-%04x", TempNameCheck(body));
    return ".tandrel-" + body + check;
}

unsigned TempNameCheck(std::string_view body) {
    // Blind to letter case: some drivers that ignore case list every name in lower case (lowntfs-3g).
    uint32_t hash = 2166136261u;  // FNV-1a
    for (const char c : body) {
        const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
        hash = (hash ^ static_cast<unsigned char>(lower)) * 16777619u;
    }
    return (hash ^ (hash >> 16)) & 0xffffu;
}

bool RenameNoReplace(int fromDir, const char* from, int toDir, const char* to) {
    if (renameat2(fromDir, from, toDir, to, RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return Fail();
    }
    struct stat st;
    if (fstatat(toDir, to, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        return Fail(EEXIST);
    }
    return renameat(fromDir, from, toDir, to) == 0 || Fail();
}

CTempFile::~CTempFile() {
    if (!m_tempName.empty()) {
        unlinkat(m_dirFd, m_tempName.c_str(), 0);
    }
}

bool CTempFile::Create(unsigned mode, unsigned unnamedMode) {
#ifdef TANDREL_HAVE_O_TMPFILE
    const unsigned first = unnamedMode == ~0u ? mode : unnamedMode;
    int fd = NamedTempFilesForced()
                 ? (errno = EOPNOTSUPP, -1)
                 : RetryEintr([&] { return openat(m_dirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, first); });
    if (fd >= 0) {
        m_fd.Reset(fd);
        return true;
    }
    // Only a file system without unnamed files falls back; anything else is a real failure.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        return Fail();
    }
#endif
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = TempName();
        int named = RetryEintr([&] {
            return openat(m_dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        });
        if (named >= 0) {
            m_fd.Reset(named);
            m_tempName = name;
            return true;
        }
        if (errno != EEXIST) {
            return Fail();
        }
    }
    return Fail(EEXIST);
}

int CTempFile::LinkUnnamedAs(const std::string& name) {
    // The direct form needs CAP_DAC_READ_SEARCH (root has it) and spares the walk through /proc; without
    // it the kernel answers ENOENT, and the /proc route is taken from then on.
    static std::atomic<bool> s_direct{true};
    int rc = -1;
    if (s_direct.load(std::memory_order_relaxed)) {
        rc = linkat(m_fd.Get(), "", m_dirFd, name.c_str(), AT_EMPTY_PATH);
        if (rc == 0 || errno != ENOENT) {
            return rc == 0 ? 0 : errno;
        }
    }
    const std::string procPath = ProcPath(m_fd.Get(), "");
    rc = linkat(AT_FDCWD, procPath.c_str(), m_dirFd, name.c_str(), AT_SYMLINK_FOLLOW);
    if (rc == 0) {
        s_direct.store(false, std::memory_order_relaxed);
    }
    return rc == 0 ? 0 : errno;
}

bool CTempFile::LinkUnnamed() {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = TempName();
        const int err = LinkUnnamedAs(name);
        if (err == 0) {
            m_tempName = name;
            return true;
        }
        if (err != EEXIST) {
            return Fail(err);
        }
    }
    return Fail(EEXIST);
}

bool CTempFile::Publish(const std::string& name, FaultOp op, bool fresh) {
    if (fresh && m_tempName.empty()) {
        if (FaultHit(op)) {
            return false;
        }
        // A new file gets its name in one step: no temporary name that a killed process could leave,
        // and never over a file that another program saved there meanwhile.
        const int err = LinkUnnamedAs(name);
        if (err == 0) {
            m_fd.Reset();
            return true;
        }
        return Fail(err);
    }
    if (m_tempName.empty() && !LinkUnnamed()) {
        return false;
    }
    if (FaultHit(op)) {
        return false;
    }
    if (fresh ? !RenameNoReplace(m_dirFd, m_tempName.c_str(), m_dirFd, name.c_str())
              : renameat(m_dirFd, m_tempName.c_str(), m_dirFd, name.c_str()) != 0) {
        return fresh ? false : Fail();
    }
    m_tempName.clear();
    m_fd.Reset();
    return true;
}

CTempName::~CTempName() {
    if (!m_name.empty()) {
        unlinkat(m_dirFd, m_name.c_str(), 0);
    }
}

}  // namespace platform::detail
