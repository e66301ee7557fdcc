// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A failure of platform/: the errno it came from and the kind a caller decides on, mapped to kinds and
// to text here alone; and the calling thread's last error, set by every failing operation of platform/
// right after the call that failed. Any thread.

#include <string>

namespace platform {

// What callers tell apart; everything else is Other, whose text alone tells the user more.
enum class ErrorKind {
    None,          // no failure
    NotFound,      // the entry, or a folder on its path, is missing (ENOENT)
    Exists,        // something already stands at the name (EEXIST)
    Denied,        // this user may not change it: permissions or a read-only medium (EACCES, EPERM, EROFS)
    TooManyFiles,  // out of open files, in this process or in the system (EMFILE, ENFILE)
    IsFolder,      // a folder where a file was expected (EISDIR)
    NotSupported,  // nothing of the kind can be done with this entry or medium (ENOTSUP)
    Io,            // the medium failed to read or write (EIO)
    Other,
};

class CError {
  public:
    CError() = default;
    // From an errno value; 0 is no failure.
    explicit CError(int err) : m_errno(err) {}
    // A failure found without a system call, with the errno such a call gives for it.
    explicit CError(ErrorKind kind);

    bool Failed() const { return m_errno != 0; }
    ErrorKind Kind() const;
    int Errno() const { return m_errno; }
    // The system's sentence, carriage returns and line feeds turned into blanks.
    std::string Text() const;
    // How every message names a failure at a path (or of an action): what + ": " + Text().
    std::string About(const std::string& what) const { return what + ": " + Text(); }

  private:
    int m_errno = 0;
};

// The calling thread's last error (none when none was recorded since the last SetLastError(CError())).
CError LastError();
void SetLastError(CError error);
// For platform/ right after the failing call.
inline void SetLastError(int err) {
    SetLastError(CError(err));
}

}  // namespace platform
