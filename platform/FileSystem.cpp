// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileSystem.h"

#include <limits.h>
#include <pwd.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <limits>
#include <vector>

#include "platform/FaultSeam.h"
#include "platform/Folder.h"
#include "platform/Error.h"
#include "platform/PosixUtil.h"

namespace platform {

using detail::CFd;
using detail::Fail;
using detail::RetryEintr;

namespace {

// Seconds between 1601-01-01 and 1970-01-01, both UTC.
constexpr int64_t kEpochDelta = 11644473600;

std::string EnvText(const char* name) {
    const char* value = getenv(name);
    return value ? std::string(value) : std::string();
}

std::string WithSlash(std::string path) {
    if (path.empty() || path.back() != '/') {
        path += '/';
    }
    return path;
}

std::string HomeFolder() {
    std::string home = EnvText("HOME");
    if (!home.empty()) {
        return home;
    }
    struct passwd entry;
    struct passwd* found = nullptr;
    std::vector<char> buf(16384);
    if (getpwuid_r(getuid(), &entry, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir) {
        return found->pw_dir;
    }
    return "/";
}

// The program's folder under the base folder that variable names, else under ~/fallback. A relative
// base is invalid and ignored, as the desktop's base-directory rules say.
std::string XdgFolder(const char* variable, const char* fallback) {
    std::string base = EnvText(variable);
    if (base.empty() || base[0] != '/') {
        base = WithSlash(HomeFolder()) + fallback;
    }
    return WithSlash(base) + "tandrel/";
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = RetryEintr([&] { return write(fd, data, size); });
        if (n < 0) {
            return Fail();
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

uint64_t WriteTimeFromUnix(int64_t seconds, int64_t nanoseconds) {
    // Times before 1601 do not exist on the other side; times past the 64-bit range stick at its end.
    if (seconds < -kEpochDelta) {
        return 0;
    }
    const uint64_t sinceBase = static_cast<uint64_t>(seconds + kEpochDelta);
    const uint64_t maxSeconds = std::numeric_limits<uint64_t>::max() / kWriteTimeUnitsPerSecond - 1;
    if (sinceBase > maxSeconds) {
        return std::numeric_limits<uint64_t>::max();
    }
    return sinceBase * kWriteTimeUnitsPerSecond + static_cast<uint64_t>(nanoseconds) / 100;
}

bool StatPath(const std::string& path, FileInfo& info, bool withArchive) {
    struct statx st;
    if (!detail::StatxNoFollow(AT_FDCWD, path.c_str(), st)) {
        return false;
    }
    detail::FillInfo(st, info, AT_FDCWD, path.c_str());
    if (withArchive && (info.kind == EntryKind::File || info.kind == EntryKind::Folder)) {
        info.archive = detail::ReadArchiveAt(AT_FDCWD, path, info.writeTime);
    }
    return true;
}

bool PathExists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 || Fail();
}

bool ListFolder(const std::string& path, std::vector<DirEntry>& entries) {
    std::unique_ptr<CFolder> folder = CFolder::Open(path);
    return folder && folder->ReadEntries(entries);
}

bool CreateFolder(const std::string& path) {
    if (FaultHit(FaultOp::CreateFolder)) {
        return false;
    }
    return mkdir(path.c_str(), 0777) == 0 || Fail();
}

bool MakeFolders(const std::string& path, unsigned mode) {
    const bool absolute = !path.empty() && path[0] == '/';
    CFd start(RetryEintr([&] { return open(absolute ? "/" : ".", detail::kHandleFlags); }));
    CFd made(start.Valid() ? detail::OpenBeneath(start.Get(), path, true, true, mode) : -1);
    return made.Valid() || Fail();
}

namespace {

bool IsAlnum(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// The process id of a name that detail::TempName made and whose check holds, else 0.
pid_t TempNameWriter(const std::string& name) {
    constexpr size_t kPrefix = sizeof ".tandrel-" - 1;
    constexpr size_t kCheck = 5;  // "-" and four hex digits
    if (name.size() < kPrefix + 8 + kCheck || name.compare(0, kPrefix, ".tandrel-") != 0 ||
        name[kPrefix + 6] != '-' || name[name.size() - kCheck] != '-') {
        return 0;
    }
    const std::string_view body(name.data() + kPrefix, name.size() - kPrefix - kCheck);
    if (!std::all_of(body.begin(), body.begin() + 6, IsAlnum)) {
        return 0;
    }
    pid_t pid = 0;
    const char* const pidEnd = body.data() + body.size();
    if (std::from_chars(body.data() + 7, pidEnd, pid).ptr != pidEnd || pid <= 0) {
        return 0;
    }
    // Any letter case: a driver may list the name in lower or upper case.
    unsigned check = 0;
    const char* const end = name.data() + name.size();
    const auto parsed = std::from_chars(end - 4, end, check, 16);
    if (parsed.ptr != end || parsed.ec != std::errc() || check != detail::TempNameCheck(body)) {
        return 0;
    }
    return pid;
}

}  // namespace

bool IsTemporaryName(const std::string& name) {
    return TempNameWriter(name) != 0;
}

bool IsLeftoverName(const std::string& name) {
    const pid_t writer = TempNameWriter(name);
    // A writer that still runs may still be copying: only a process that is gone left the file for good.
    return writer != 0 && kill(writer, 0) != 0 && errno == ESRCH;
}

std::string ResolvedFolder(const std::string& folder) {
    if (folder.empty()) {
        return folder;
    }
    std::string result;
    if (char* real = realpath(folder.c_str(), nullptr)) {
        result = real;
        free(real);
    } else if (folder.front() == '/') {
        result = folder;  // missing: whoever uses it reports that
    } else {
        result = WithSlash(CurrentFolder()) + folder;
    }
    return WithSlash(std::move(result));
}

std::string CurrentFolder() {
    std::vector<char> buf(PATH_MAX);
    while (!getcwd(buf.data(), buf.size())) {
        if (errno != ERANGE) {
            Fail();
            return std::string();
        }
        buf.resize(buf.size() * 2);
    }
    return buf.data();
}

std::string TempFolder() {
    std::string tmp = EnvText("TMPDIR");
    return WithSlash(tmp.empty() ? "/tmp" : tmp);
}

std::string ConfigFolder() {
    return XdgFolder("XDG_CONFIG_HOME", ".config");
}

std::string StateFolder() {
    return XdgFolder("XDG_STATE_HOME", ".local/state");
}

bool IsOwnFolderOrMissing(const std::string& folder) {
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        return errno == ENOENT;
    }
    return S_ISDIR(st.st_mode) && st.st_uid == geteuid();
}

bool IsOwnAndPrivateToWrite(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && st.st_uid == geteuid() && !(st.st_mode & S_IWOTH);
}

bool MakeStateFolder() {
    const std::string state = StateFolder();
    return IsOwnFolderOrMissing(state) && MakeFolders(state, 0700) && IsOwnFolderOrMissing(state);
}

std::string ExecutableFolder() {
    std::vector<char> buf(PATH_MAX);
    for (;;) {
        ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0) {
            Fail();
            return std::string();
        }
        if (static_cast<size_t>(n) < buf.size()) {
            std::string exe(buf.data(), static_cast<size_t>(n));
            return exe.substr(0, exe.rfind('/') + 1);
        }
        buf.resize(buf.size() * 2);
    }
}

bool ReadWholeFile(const std::string& path, std::string& data) {
    // O_NONBLOCK: a pipe put where a profile belongs must not hang the program.
    CFd fd(RetryEintr([&] { return open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); }));
    if (!fd.Valid()) {
        return Fail();
    }
    struct stat st;
    if (fstat(fd.Get(), &st) != 0) {
        return Fail();
    }
    if (!S_ISREG(st.st_mode)) {
        return Fail(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    }
    // A settings file may come on a stick someone handed over: a huge (or sparse) one must not take the
    // program's memory. It counts as unreadable, also when it grows while it is read.
    if (st.st_size > static_cast<off_t>(kMaxWholeFile)) {
        return Fail(EFBIG);
    }
    std::string result;
    char buf[65536];
    for (;;) {
        ssize_t n = RetryEintr([&] { return read(fd.Get(), buf, sizeof buf); });
        if (n < 0) {
            return Fail();
        }
        if (n == 0) {
            break;
        }
        if (result.size() + static_cast<size_t>(n) > kMaxWholeFile) {
            return Fail(EFBIG);
        }
        result.append(buf, static_cast<size_t>(n));
    }
    data = std::move(result);
    return true;
}

bool WriteFileAtomic(const std::string& path, const std::string& data) {
    // The folder part ("." when there is none, "/" for the root) and the last name.
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string name = path.substr(slash + 1);  // all of it without a "/": npos + 1 is 0
    if (name.empty()) {
        return Fail(EISDIR);
    }
    const std::string config = ConfigFolder();
    if (path.compare(0, config.size(), config) == 0 && !MakeFolders(config, 0700)) {
        return false;
    }
    CFd dir(RetryEintr([&] { return open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC); }));
    if (!dir.Valid()) {
        return Fail();
    }
    // A replaced file keeps its permissions (a user may have made a profile private); a new one gets
    // 0666 less the umask, as any other program's new file.
    struct stat old;
    bool replacing = false;
    if (fstatat(dir.Get(), name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(old.st_mode)) {
            return Fail(EISDIR);
        }
        replacing = S_ISREG(old.st_mode);
    }
    detail::CTempFile temp(dir.Get());
    if (!temp.Create(0666) || !WriteAll(temp.Fd(), data.data(), data.size())) {
        return false;
    }
    if (replacing && fchmod(temp.Fd(), old.st_mode & 07777) != 0) {
        return Fail();
    }
    if (RetryEintr([&] { return fsync(temp.Fd()); }) != 0) {
        return Fail();
    }
    return temp.Publish(name, FaultOp::WriteProfile);
}

bool AppendToLog(const std::string& path, const std::string& header, const std::string& line) {
    const std::string state = StateFolder();
    if (path.compare(0, state.size(), state) == 0 && !MakeFolders(state, 0700)) {
        return false;
    }
    // O_NONBLOCK keeps a pipe planted under the log's name from blocking the open.
    CFd fd(RetryEintr([&] {
        return open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    }));
    if (!fd.Valid()) {
        return Fail();
    }
    struct stat st;
    if (fstat(fd.Get(), &st) != 0) {
        return Fail();
    }
    // The temporary folder is shared: another user's file planted under our name is never written, nor a
    // second name of one of our own files (a hard link planted where fs.protected_hardlinks is off).
    if (!S_ISREG(st.st_mode) || st.st_uid != geteuid() || st.st_nlink != 1) {
        return Fail(EPERM);
    }
    // One write per call, so that a line is never split by another writer's append.
    const std::string text = st.st_size == 0 ? header + line : line;
    return WriteAll(fd.Get(), text.data(), text.size());
}

void DebugOutput(const std::string& text) {
    const char* debug = getenv("TANDREL_DEBUG");
    if (!debug || !*debug) {
        return;
    }
    fwrite(text.data(), 1, text.size(), stderr);
    fflush(stderr);
}

}  // namespace platform
