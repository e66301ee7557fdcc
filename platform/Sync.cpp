#include "platform/Sync.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/PosixUtil.h"

namespace platform {

using detail::CFd;
using detail::Fail;
using detail::RetryEintr;

bool SyncFileSystem(const std::string& path) {
    // O_RDONLY (not O_PATH): syncfs needs a descriptor that refers to an open file of that file system.
    // O_NONBLOCK keeps a pipe named by mistake from blocking the open.
    CFd fd(RetryEintr([&] { return open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY); }));
    if (!fd.Valid()) {
        return Fail();
    }
    // Since Linux 5.8 syncfs also reports writeback errors (EIO, ENOSPC) that happened while this
    // descriptor was open; each copy's own fsync has already reported the errors of its data.
    if (RetryEintr([&] { return syncfs(fd.Get()); }) != 0) {
        return Fail();
    }
    return true;
}

}  // namespace platform
