// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Error.h"

#include <errno.h>
#include <string.h>

namespace platform {

namespace {
thread_local CError t_lastError;
}  // namespace

CError::CError(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::None:
            m_errno = 0;
            break;
        case ErrorKind::NotFound:
            m_errno = ENOENT;
            break;
        case ErrorKind::Exists:
            m_errno = EEXIST;
            break;
        case ErrorKind::Denied:
            m_errno = EACCES;
            break;
        case ErrorKind::TooManyFiles:
            m_errno = EMFILE;
            break;
        case ErrorKind::IsFolder:
            m_errno = EISDIR;
            break;
        case ErrorKind::NotSupported:
            m_errno = ENOTSUP;
            break;
        case ErrorKind::Io:
        case ErrorKind::Other:
            m_errno = EIO;
            break;
    }
}

ErrorKind CError::Kind() const {
    switch (m_errno) {
        case 0:
            return ErrorKind::None;
        case ENOENT:
            return ErrorKind::NotFound;
        case EEXIST:
            return ErrorKind::Exists;
        case EACCES:
        case EPERM:
        case EROFS:
            return ErrorKind::Denied;
        case EMFILE:
        case ENFILE:
            return ErrorKind::TooManyFiles;
        case EISDIR:
            return ErrorKind::IsFolder;
        case ENOTSUP:
            return ErrorKind::NotSupported;
        case EIO:
            return ErrorKind::Io;
        default:
            return ErrorKind::Other;
    }
}

std::string CError::Text() const {
    char buf[256];
    buf[0] = '\0';
    // The GNU strerror_r may return a static string instead of filling buf.
    const char* text = strerror_r(m_errno, buf, sizeof buf);
    std::string result = text ? text : buf;
    for (char& c : result) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return result;
}

CError LastError() {
    return t_lastError;
}

void SetLastError(CError error) {
    t_lastError = error;
}

}  // namespace platform
