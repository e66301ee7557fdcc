// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared by the reliability tests: whole-tree snapshots that survive paths longer than PATH_MAX, the
// search for leftover temporary files, running the built program headless (optionally as an ordinary
// user), and a small tmpfs for disk-full cases. Test threads only.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace reliability {

// One entry of a tree as a test compares it: kind ("file", "link", "dir", "other"), size and a hash of
// the contents (files), the target (links) and the write time in nanoseconds (files and links).
struct EntryState {
    std::string kind;
    uint64_t size = 0;
    uint64_t hash = 0;
    std::string linkTarget;
    int64_t mtimeNs = 0;
    bool operator==(const EntryState&) const = default;
};
using TreeState = std::map<std::string, EntryState>;  // relative path -> state

// Walks root by handle (openat), never following links, so any depth and path length works.
// Folders are listed too (kind "dir", no time: creating a file changes its folder's time).
TreeState Snapshot(const std::string& root);
// The entries of a that b lacks or holds differently, and the other way round, one per line.
std::string Differences(const TreeState& expected, const TreeState& actual);
// Only the files and links of a snapshot (what a backup carries over); pipes, sockets, folders dropped.
TreeState FilesOnly(const TreeState& tree);
// Relative paths of every entry below root whose name begins with ".tandrel-".
std::vector<std::string> TempLeftovers(const std::string& root);

// Removes a tree of any depth (rm -rf works by handle); restores write bits first.
void RemoveDeepTree(const std::string& path);

// FNV-1a of a whole file, and its size; false when it cannot be read.
bool HashFile(const std::string& path, uint64_t& hash, uint64_t& size);

struct RunResult {
    int exitCode = -1;      // 124 when the timeout killed it
    std::string log;        // the run log after the run ($XDG_STATE_HOME/tandrel/TandrelAutoRun.log)
    std::string errorText;  // standard error
};

// Runs the built program headless with XDG_CONFIG_HOME, XDG_STATE_HOME, TMPDIR and HOME inside home and the
// given arguments (already quoted), stopped by timeout(1) after timeoutSeconds. As root and with
// asOrdinaryUser, it runs as uid/gid 65534 (home must be writable for that user).
RunResult RunProgram(const std::string& home, const std::string& arguments, bool asOrdinaryUser = false,
                     int timeoutSeconds = 120);
// Starts the built program headless as RunProgram does, without waiting for it; its process id (the
// caller reaps it), or -1.
int StartProgram(const std::string& home, const std::vector<std::string>& arguments);

// "/srcdir:SRC /destdir:DST" quoted for the shell.
std::string FolderArguments(const std::string& source, const std::string& destination);

// Changes the owner of everything below path (lchown, no link following) to uid/gid 65534.
void GiveToOrdinaryUser(const std::string& path);

// A tmpfs of a given size mounted on a folder for the test's lifetime. Mounting needs root and a
// kernel that lets this process mount; when it cannot, Reason() says why.
class CTmpfsMount {
  public:
    CTmpfsMount(const std::string& folder, const std::string& options);
    ~CTmpfsMount();
    CTmpfsMount(const CTmpfsMount&) = delete;
    CTmpfsMount& operator=(const CTmpfsMount&) = delete;
    bool Mounted() const { return m_bMounted; }
    const std::string& Reason() const { return m_strReason; }

  private:
    const std::string m_strFolder;
    bool m_bMounted = false;
    std::string m_strReason;  // why mounting failed; empty when mounted
};

// The peak resident memory (VmHWM, bytes) of a process from its /proc status text.
uint64_t PeakResidentBytes(const std::string& procStatus);

}  // namespace reliability
