// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Error.h"

#include <cerrno>
#include <cstring>

#include <gtest/gtest.h>

namespace {

using platform::CError;
using platform::ErrorKind;

TEST(Error, KindsOfErrnoValuesAndBack) {
    struct Row {
        int err;
        ErrorKind kind;
        bool canonical;  // the errno a failure of this kind found without a system call gets
    };
    const Row rows[] = {
        {0, ErrorKind::None, true},
        {ENOENT, ErrorKind::NotFound, true},
        {EEXIST, ErrorKind::Exists, true},
        {EACCES, ErrorKind::Denied, true},
        {EPERM, ErrorKind::Denied, false},
        {EROFS, ErrorKind::Denied, false},
        {EMFILE, ErrorKind::TooManyFiles, true},
        {ENFILE, ErrorKind::TooManyFiles, false},
        {EISDIR, ErrorKind::IsFolder, true},
        {ENOTSUP, ErrorKind::NotSupported, true},
        {EIO, ErrorKind::Io, true},
        {ENOSPC, ErrorKind::Other, false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(CError(row.err).Kind(), row.kind) << std::strerror(row.err);
        EXPECT_EQ(CError(row.err).Failed(), row.err != 0) << std::strerror(row.err);
        if (row.canonical) {
            EXPECT_EQ(CError(row.kind).Errno(), row.err) << std::strerror(row.err);
        }
    }
}

TEST(Error, TextNamesWhatFailed) {
    EXPECT_EQ(CError(ENOENT).Text(), std::strerror(ENOENT));
    EXPECT_EQ(CError(EACCES).About("/a/b"), std::string("/a/b: ") + std::strerror(EACCES));
    platform::SetLastError(EEXIST);
    EXPECT_EQ(platform::LastError().Kind(), ErrorKind::Exists);
    platform::SetLastError(CError());
    EXPECT_FALSE(platform::LastError().Failed());
}

}  // namespace
