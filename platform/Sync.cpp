// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Sync.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/HeldRoots.h"
#include "platform/PosixUtil.h"

namespace platform {

using detail::Fail;
using detail::RetryEintr;

// O_RDONLY (not O_PATH): syncfs needs a descriptor that refers to an open file of that file system.
// O_NONBLOCK keeps a pipe named by mistake from blocking the open.
CFileSystemFlush::CFileSystemFlush(const std::string& path)
    : m_fd(detail::OpenFolderPath(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)),
      m_openError(m_fd < 0 ? errno : 0) {}

CFileSystemFlush::~CFileSystemFlush() {
    if (m_fd >= 0) {
        close(m_fd);
    }
}

bool CFileSystemFlush::Flush() {
    if (m_fd < 0) {
        return Fail(m_openError);
    }
    if (FaultHit(FaultOp::Flush)) {
        return false;
    }
    // Since Linux 5.8 syncfs also reports the write errors (EIO, ENOSPC) that happened since the
    // descriptor was opened; each replaced copy's own flush has already reported the errors of its data.
    if (RetryEintr([&] { return syncfs(m_fd); }) != 0) {
        return Fail();
    }
    // syncfs never reaches a FUSE driver; an fsync of the folder asks it to write out its folders. The
    // copies there flushed themselves before they took their names.
    if (detail::OnlyFsyncReachesDisk(m_fd) && RetryEintr([&] { return fsync(m_fd); }) != 0 &&
        errno != EINVAL && errno != ENOSYS) {
        return Fail();
    }
    return true;
}

bool FileSystemOf(const std::string& path, uint64_t& id) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        return Fail();
    }
    id = st.st_dev;
    return true;
}

}  // namespace platform
