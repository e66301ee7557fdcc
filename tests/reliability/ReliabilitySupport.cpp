// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/reliability/ReliabilitySupport.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <spawn.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <sstream>
#include <string_view>

#include <gtest/gtest.h>

#include "tests/TestSupport.h"

namespace reliability {

using testing_support::ReadFile;
using testing_support::RunCommand;
using testing_support::ShellQuote;

namespace {

constexpr uint64_t kFnvOffset = 1469598103934665603ULL;
constexpr uint64_t kFnvPrime = 1099511628211ULL;

// Chunks hashed by the standard library (built optimised) and chained: a test build's own byte loop over
// hundreds of megabytes would take seconds.
bool HashFd(int fd, uint64_t& hash, uint64_t& size) {
    hash = kFnvOffset;
    size = 0;
    std::vector<char> buf(1 << 20);
    for (;;) {
        ssize_t n = read(fd, buf.data(), buf.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            return true;
        }
        hash = (hash ^ std::hash<std::string_view>()(std::string_view(buf.data(), static_cast<size_t>(n)))) *
               kFnvPrime;
        size += static_cast<uint64_t>(n);
    }
}

void Walk(int dirFd, const std::string& prefix, TreeState& tree) {
    DIR* dir = fdopendir(dup(dirFd));
    if (!dir) {
        ADD_FAILURE() << "cannot list " << prefix;
        return;
    }
    std::vector<std::string> names;
    while (dirent* e = readdir(dir)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
            names.emplace_back(e->d_name);
        }
    }
    closedir(dir);
    for (const std::string& name : names) {
        const std::string rel = prefix + name;
        struct stat st;
        if (fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            ADD_FAILURE() << "cannot stat " << rel;
            continue;
        }
        EntryState state;
        if (S_ISDIR(st.st_mode)) {
            state.kind = "dir";
            tree[rel] = state;
            int child = openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child < 0) {
                ADD_FAILURE() << "cannot enter " << rel;
                continue;
            }
            Walk(child, rel + "/", tree);
            close(child);
            continue;
        }
        state.mtimeNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        if (S_ISREG(st.st_mode)) {
            state.kind = "file";
            int fd = openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
            if (fd < 0 || !HashFd(fd, state.hash, state.size)) {
                ADD_FAILURE() << "cannot read " << rel;
            }
            if (fd >= 0) {
                close(fd);
            }
        } else if (S_ISLNK(st.st_mode)) {
            state.kind = "link";
            std::vector<char> target(static_cast<size_t>(st.st_size) + 1);
            ssize_t n = readlinkat(dirFd, name.c_str(), target.data(), target.size());
            state.linkTarget.assign(target.data(), n > 0 ? static_cast<size_t>(n) : 0);
        } else {
            state.kind = "other";
            state.mtimeNs = 0;
        }
        tree[rel] = state;
    }
}

std::string Show(const EntryState& s) {
    std::ostringstream out;
    out << s.kind << " size " << s.size << " hash " << s.hash << " time " << s.mtimeNs;
    if (!s.linkTarget.empty()) {
        out << " -> " << s.linkTarget;
    }
    return out.str();
}

}  // namespace

TreeState Snapshot(const std::string& root) {
    TreeState tree;
    int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return tree;  // a missing tree is an empty one
    }
    Walk(fd, "", tree);
    close(fd);
    return tree;
}

std::string Differences(const TreeState& expected, const TreeState& actual) {
    std::string out;
    for (const auto& [name, state] : expected) {
        auto it = actual.find(name);
        if (it == actual.end()) {
            out += "missing: " + name + " (" + Show(state) + ")\n";
        } else if (!(it->second == state)) {
            out += "differs: " + name + " expected " + Show(state) + ", found " + Show(it->second) + "\n";
        }
    }
    for (const auto& [name, state] : actual) {
        if (!expected.count(name)) {
            out += "unexpected: " + name + " (" + Show(state) + ")\n";
        }
    }
    return out;
}

TreeState FilesOnly(const TreeState& tree) {
    TreeState files;
    for (const auto& [name, state] : tree) {
        if (state.kind == "file" || state.kind == "link") {
            files[name] = state;
        }
    }
    return files;
}

std::vector<std::string> TempLeftovers(const std::string& root) {
    std::vector<std::string> found;
    for (const auto& [name, state] : Snapshot(root)) {
        const size_t slash = name.rfind('/');
        const std::string last = slash == std::string::npos ? name : name.substr(slash + 1);
        if (last.rfind(".tandrel-", 0) == 0) {
            found.push_back(name);
        }
    }
    return found;
}

void RemoveDeepTree(const std::string& path) {
    if (!path.empty()) {
        RunCommand("chmod -R u+rwx " + ShellQuote(path) + " 2>/dev/null; rm -rf " + ShellQuote(path));
    }
}

bool HashFile(const std::string& path, uint64_t& hash, uint64_t& size) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool ok = HashFd(fd, hash, size);
    close(fd);
    return ok;
}

RunResult RunProgram(const std::string& home, const std::string& arguments, bool asOrdinaryUser,
                     int timeoutSeconds) {
    const std::string errFile = home + "/stderr.txt";
    const std::string command = "cd " + ShellQuote(home) +
                                " && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u TANDREL_DEBUG" +
                                " XDG_CONFIG_HOME=" + ShellQuote(home + "/config") +
                                " XDG_STATE_HOME=" + ShellQuote(home + "/state") +
                                " TMPDIR=" + ShellQuote(home) + " HOME=" + ShellQuote(home) +
                                " timeout -s KILL " + std::to_string(timeoutSeconds) + " " +
                                ShellQuote(testing_support::TandrelBinary()) + " " + arguments + " 2>" +
                                ShellQuote(errFile) + " </dev/null";
    RunResult result;
    if (asOrdinaryUser) {
        result.exitCode = testing_support::RunAsOrdinaryUser(command);
    } else {
        result.exitCode = RunCommand(command);
    }
    result.log = ReadFile(home + "/state/tandrel/TandrelAutoRun.log");
    result.errorText = ReadFile(errFile);
    return result;
}

int StartProgram(const std::string& home, const std::vector<std::string>& arguments) {
    std::vector<std::string> env = {"XDG_CONFIG_HOME=" + home + "/config",
                                    "XDG_STATE_HOME=" + home + "/state",
                                    "TMPDIR=" + home,
                                    "HOME=" + home,
                                    "LC_ALL=C.UTF-8",
                                    "PATH=/usr/bin:/bin"};
    const std::string binary = testing_support::TandrelBinary();
    std::vector<std::string> args = {binary};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> envp;
    for (std::string& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    // What it prints goes to home/stderr.txt, as with RunProgram.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, (home + "/stderr.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, binary.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

std::string FolderArguments(const std::string& source, const std::string& destination) {
    return ShellQuote("/srcdir:" + source) + " " + ShellQuote("/destdir:" + destination);
}

void GiveToOrdinaryUser(const std::string& path) {
    if (testing_support::IsRoot()) {
        RunCommand("chown -hR 65534:65534 " + ShellQuote(path));
    }
}

CTmpfsMount::CTmpfsMount(const std::string& folder, const std::string& options) : m_strFolder(folder) {
    if (geteuid() != 0) {
        m_strReason = "mounting a tmpfs needs root";
        return;
    }
    if (mount("tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        m_strReason = std::string("mount -t tmpfs refused here: ") + std::strerror(errno);
        return;
    }
    m_bMounted = true;
}

CTmpfsMount::~CTmpfsMount() {
    if (m_bMounted && umount2(m_strFolder.c_str(), MNT_DETACH) != 0) {
        ADD_FAILURE() << "cannot unmount " << m_strFolder << ": " << std::strerror(errno);
    }
}

uint64_t PeakResidentBytes(const std::string& procStatus) {
    const size_t at = procStatus.find("VmHWM:");
    if (at == std::string::npos) {
        return 0;
    }
    return std::strtoull(procStatus.c_str() + at + 6, nullptr, 10) * 1024;
}

}  // namespace reliability
