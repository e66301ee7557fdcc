// SPDX-License-Identifier: GPL-3.0-or-later
// A small program the platform tests run in a child process, mostly as an ordinary user: it performs
// one platform call and prints the result on standard output. A fresh process matters because the
// layer reads the process's ids only once.
//   stat PATH             readable=<0|1> kernel=<0|1>   (our answer and the kernel's, for comparison)
//   list PATH             ok <count> | error <errno>
//   statin FOLDER NAME    ok readable=<0|1> | error <errno>
//   setattr PATH BITS     ok | error <errno>
//   getattr PATH          <bits> | error <errno>
//   debug TEXT            calls DebugOutput(TEXT)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Folder.h"
#include "platform/Error.h"

namespace {

int Error() {
    std::printf("error %d\n", platform::LastError().Errno());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: platform_probe COMMAND ARGS\n");
        return 2;
    }
    const std::string command = argv[1];
    const std::string path = argv[2];
    if (command == "stat") {
        platform::FileInfo info;
        if (!platform::StatPath(path, info)) {
            return Error();
        }
        const int need = info.kind == platform::EntryKind::Folder ? R_OK | X_OK : R_OK;
        const bool kernel = faccessat(AT_FDCWD, path.c_str(), need, AT_EACCESS) == 0;
        std::printf("readable=%d kernel=%d\n", info.readable ? 1 : 0, kernel ? 1 : 0);
        return 0;
    }
    if (command == "list") {
        std::vector<platform::DirEntry> entries;
        if (!platform::ListFolder(path, entries)) {
            return Error();
        }
        std::printf("ok %zu\n", entries.size());
        return 0;
    }
    if (command == "statin" && argc == 4) {
        auto folder = platform::CFolder::Open(path);
        platform::FileInfo info;
        if (!folder || !folder->Stat(argv[3], info)) {
            return Error();
        }
        std::printf("ok readable=%d\n", info.readable ? 1 : 0);
        return 0;
    }
    if (command == "setattr" && argc == 4) {
        // Exactly these bits: the others are removed first.
        const auto bits = static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 0));
        if (!platform::ChangeAttributeBits(path, (platform::kAttrReadOnly | platform::kAttrArchive) & ~bits,
                                           false) ||
            !platform::ChangeAttributeBits(path, bits, true)) {
            return Error();
        }
        std::printf("ok\n");
        return 0;
    }
    if (command == "getattr") {
        uint32_t bits = 0;
        if (!platform::GetAttributes(path, bits)) {
            return Error();
        }
        std::printf("%u\n", bits);
        return 0;
    }
    if (command == "debug") {
        platform::DebugOutput(path);
        return 0;
    }
    std::fprintf(stderr, "platform_probe: unknown command %s\n", command.c_str());
    return 2;
}
