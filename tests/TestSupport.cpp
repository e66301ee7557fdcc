// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/TestSupport.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/Folder.h"

namespace fs = std::filesystem;

namespace testing_support {

CTempDir::CTempDir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string base = (tmp && *tmp) ? tmp : "/tmp";
    std::string templ = base + "/tandrel-test-XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) {
        ADD_FAILURE() << "mkdtemp failed in " << base;
        return;
    }
    m_path = buf.data();
    chmod(m_path.c_str(), 0755);  // ordinary-user cases must be able to enter it
}

std::string PrepareTestEnvironment() {
    const char* tmp = std::getenv("TMPDIR");
    std::string base = (tmp && *tmp) ? tmp : "/tmp";
    std::string templ = base + "/tandrel-run-XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) {
        return "";
    }
    std::string root = buf.data();
    chmod(root.c_str(), 0755);
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    setenv("TMPDIR", root.c_str(), 1);
    setenv("XDG_STATE_HOME", (root + "/state").c_str(), 1);
    setenv("HOME", root.c_str(), 1);
    return root;
}

CTempDir::~CTempDir() {
    RemoveTree(m_path);
}

void RemoveTree(const std::string& path) {
    if (path.empty()) {
        return;
    }
    std::error_code ec;
    chmod(path.c_str(), 0755);
    // Restore write and search bits so that read-only fixtures can be removed.
    for (auto it = fs::recursive_directory_iterator(path, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_symlink()) {
            chmod(it->path().c_str(), it->is_directory() ? 0755 : 0644);
        }
    }
    fs::remove_all(path, ec);
}

void WriteFile(const std::string& path, const std::string& content) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) {
        ADD_FAILURE() << "cannot write " << path;
    }
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

void MakeFolder(const std::string& path) {
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec) {
        ADD_FAILURE() << "cannot create " << path << ": " << ec.message();
    }
}

void SetModTime(const std::string& path, int64_t seconds, int64_t nanoseconds) {
    struct timespec times[2];
    times[0].tv_sec = seconds;
    times[0].tv_nsec = nanoseconds;
    times[1] = times[0];
    if (utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
        ADD_FAILURE() << "utimensat " << path;
    }
}

int64_t ModTimeNs(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        return -1;
    }
    return int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

unsigned Mode(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        return 0;
    }
    return st.st_mode & 07777;
}

void SetMode(const std::string& path, unsigned mode) {
    if (chmod(path.c_str(), mode) != 0) {
        ADD_FAILURE() << "chmod " << path;
    }
}

std::vector<std::string> ListNames(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> ListTree(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_directory() || it->is_symlink()) {
            names.push_back(it->path().lexically_relative(folder).string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool IsRoot() {
    return geteuid() == 0;
}

int RunCommand(const std::string& command, std::string* output, bool mergeStderr) {
    std::string line = command + (mergeStderr ? " 2>&1" : "");
    FILE* pipe = popen(line.c_str(), "r");
    if (!pipe) {
        return -1;
    }
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) {
        text.append(buf, n);
    }
    int status = pclose(pipe);
    if (output) {
        *output = text;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunAsOrdinaryUser(const std::string& command, std::string* output) {
    if (!IsRoot()) {
        return RunCommand("sh -c " + ShellQuote(command), output, true);
    }
    if (RunCommand("command -v setpriv >/dev/null") != 0) {
        return -1;
    }
    return RunCommand("setpriv --reuid=65534 --regid=65534 --clear-groups sh -c " + ShellQuote(command),
                      output, true);
}

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

std::string TandrelBinary() {
    const char* binary = std::getenv("TANDREL_BINARY");
    if (binary && *binary) {
        return binary;
    }
#ifdef TANDREL_BINARY_PATH
    return TANDREL_BINARY_PATH;
#else
    return "tandrel";
#endif
}

namespace {

// The folder of path held open, and the name in it; no folder when it cannot be opened.
struct Held {
    std::shared_ptr<platform::CFolder> folder;
    std::string name;
};

Held Hold(const std::string& path) {
    const size_t slash = path.rfind('/');
    return {platform::CFolder::OpenRoot(path.substr(0, slash)), path.substr(slash + 1)};
}

}  // namespace

bool CopyAtPaths(const std::string& from, const std::string& to, bool sourceKeepsModes) {
    const Held source = Hold(from);
    const Held target = source.folder ? Hold(to) : Held();
    return target.folder &&
           platform::CopyFileAtomic(*source.folder, source.name, *target.folder, target.name, sourceKeepsModes);
}

std::unique_ptr<platform::CPreparedCopy> PrepareAtPaths(const std::string& from, const std::string& to,
                                                        bool provisional,
                                                        const platform::ScannedTarget* scanned) {
    const Held source = Hold(from);
    const Held target = source.folder ? Hold(to) : Held();
    return target.folder ? platform::CPreparedCopy::Prepare(*source.folder, source.name, *target.folder,
                                                            target.name, true, provisional, scanned)
                         : nullptr;
}

bool FinishWriteTimeAt(const std::string& path, const platform::PendingWriteTime& time) {
    const Held file = Hold(path);
    return file.folder && platform::FinishWriteTime(*file.folder, file.name, time);
}

}  // namespace testing_support
