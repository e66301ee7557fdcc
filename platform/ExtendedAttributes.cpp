// SPDX-License-Identifier: GPL-3.0-or-later
// What a copy carries besides contents and mode: the archive record, the user's extended attributes
// (tags, origin addresses, ...) and the access ACL, as `cp -a` and `rsync -AX` keep them.
#include <sys/stat.h>
#include <sys/xattr.h>

#include <string_view>
#include <vector>

#include "platform/PosixUtil.h"

namespace platform::detail {

namespace {

constexpr std::string_view kAccessAcl = "system.posix_acl_access";

// A medium that keeps no extended attributes, or not this one (too large for it): the copy goes on
// without it, as it goes on without modes on FAT.
bool NotKeptHere(int err) {
    return err == ENOTSUP || err == ENOSYS || err == E2BIG;
}

// The value of attribute name of fd into value; its size, or -1 with errno set.
ssize_t ReadAttribute(int fd, const char* name, std::vector<char>& value) {
    for (;;) {
        const ssize_t n = RetryEintr([&] { return fgetxattr(fd, name, value.data(), value.size()); });
        if (n >= 0 || errno != ERANGE) {
            return n;
        }
        const ssize_t need = fgetxattr(fd, name, nullptr, 0);  // it grew since it was listed
        if (need < 0) {
            return need;
        }
        value.resize(static_cast<size_t>(need) + 64);
    }
}

}  // namespace

bool CopyAttributes(int from, int to, const struct stat& st, bool withAcl, bool& archived) {
    archived = true;
    // One look for the names: most files have none, and then this is the only call.
    std::vector<char> names(1024);
    ssize_t n;
    while ((n = RetryEintr([&] { return flistxattr(from, names.data(), names.size()); })) < 0 &&
           errno == ERANGE) {
        const ssize_t need = flistxattr(from, nullptr, 0);
        if (need < 0) {
            break;
        }
        names.resize(static_cast<size_t>(need) + 64);
    }
    if (n <= 0) {
        return true;  // none, or a file system without them: nothing to carry, the source reads archived
    }
    std::vector<char> value(256);
    for (size_t at = 0; at < static_cast<size_t>(n);) {
        const char* const name = names.data() + at;
        const std::string_view attr(name);
        at += attr.size() + 1;
        const bool record = attr == kArchiveAttr;
        const bool user = attr.substr(0, 5) == "user." && !record;
        if (!record && !user && !(withAcl && attr == kAccessAcl)) {
            continue;  // the system's own (security labels, capabilities) are not a copy's to carry
        }
        const ssize_t size = ReadAttribute(from, name, value);
        if (size < 0) {
            if (errno == ENODATA || record) {
                continue;  // removed since it was listed; a record that cannot be read counts as none
            }
            return Fail();
        }
        if (record) {
            archived = ArchiveFromRecord(value.data(), size,
                                         WriteTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec));
        }
        const int rc =
            RetryEintr([&] { return fsetxattr(to, name, value.data(), static_cast<size_t>(size), 0); });
        if (rc != 0 && !NotKeptHere(errno)) {
            return Fail();
        }
    }
    return true;
}

}  // namespace platform::detail
