#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# gatefs.py BACKING MOUNTPOINT GATE: shows the folder BACKING read-only at MOUNTPOINT (FUSE, foreground).
# Listing any folder below the top waits while the file GATE exists (at most a minute), so that a scan of
# the mount stays in progress until the test removes GATE: a slow disk the test controls.
import errno
import os
import sys
import time

from fusepy import FUSE, FuseOSError, Operations


class GateFS(Operations):
    def __init__(self, backing, gate):
        self.backing = backing
        self.gate = gate

    def _real(self, path):
        return os.path.join(self.backing, path.lstrip("/"))

    def getattr(self, path, fh=None):
        try:
            st = os.lstat(self._real(path))
        except OSError as error:
            raise FuseOSError(error.errno)
        keys = ("st_mode", "st_nlink", "st_uid", "st_gid", "st_size", "st_atime", "st_mtime", "st_ctime")
        return {key: getattr(st, key) for key in keys}

    def readdir(self, path, fh):
        if path != "/":
            deadline = time.monotonic() + 60
            while os.path.exists(self.gate) and time.monotonic() < deadline:
                time.sleep(0.05)
        try:
            return [".", ".."] + os.listdir(self._real(path))
        except OSError as error:
            raise FuseOSError(error.errno)

    def open(self, path, flags):
        if flags & (os.O_WRONLY | os.O_RDWR):
            raise FuseOSError(errno.EROFS)
        return os.open(self._real(path), os.O_RDONLY)

    def read(self, path, size, offset, fh):
        return os.pread(fh, size, offset)

    def release(self, path, fh):
        os.close(fh)

    def statfs(self, path):
        st = os.statvfs(self.backing)
        keys = ("f_bsize", "f_frsize", "f_blocks", "f_bfree", "f_bavail", "f_files", "f_ffree", "f_namemax")
        return {key: getattr(st, key) for key in keys}


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit("usage: gatefs.py BACKING MOUNTPOINT GATE")
    FUSE(GateFS(sys.argv[1], sys.argv[3]), sys.argv[2], foreground=True, ro=True)
