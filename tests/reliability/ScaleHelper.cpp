// SPDX-License-Identifier: GPL-3.0-or-later
// Helper program of the scale test. "make ROOT FOLDERS FILES" creates FOLDERS folders of FILES empty files
// each below ROOT; "scan SOURCE DEST" scans both trees, builds and decides a backup worklist and prints
// "files <source files> <destination files> items <items> peak <VmHWM bytes> base <VmHWM bytes before>".
// A process of its own, so that its peak memory is the engine's and nobody else's.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "engine/DirScanner.h"
#include "engine/GenericException.h"
#include "engine/WorkList.h"
#include "engine/WorkListBuilder.h"

namespace {

unsigned long long PeakBytes() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::strtoull(line.c_str() + 6, nullptr, 10) * 1024;
        }
    }
    return 0;
}

int Make(const char* root, int folders, int files) {
    int rootFd = open(root, O_RDONLY | O_DIRECTORY);
    if (rootFd < 0) {
        std::perror(root);
        return 1;
    }
    char name[32];
    for (int d = 0; d < folders; ++d) {
        std::snprintf(name, sizeof name, "d%04d", d);
        if (mkdirat(rootFd, name, 0755) != 0) {
            std::perror(name);
            return 1;
        }
        int dirFd = openat(rootFd, name, O_RDONLY | O_DIRECTORY);
        for (int f = 0; f < files; ++f) {
            std::snprintf(name, sizeof name, "f%04d.txt", f);
            int fd = openat(dirFd, name, O_WRONLY | O_CREAT | O_EXCL, 0644);
            if (fd < 0) {
                std::perror(name);
                return 1;
            }
            close(fd);
        }
        close(dirFd);
    }
    close(rootFd);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "make") == 0) {
        return Make(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
    }
    if (argc == 4 && std::strcmp(argv[1], "scan") == 0) {
        const unsigned long long base = PeakBytes();
        try {
            CDirScanner source(argv[2], "", nullptr);
            CDirScanner dest(argv[3], "", nullptr);
            const size_t sourceCount = source.m_files.size();
            const size_t destCount = dest.m_files.size();
            CWorkListBuilder builder(source, dest, nullptr);
            builder.ApplyRunMode(RunBackup);
            std::printf("files %zu %zu items %zu peak %llu base %llu\n", sourceCount, destCount,
                        builder.m_items.size(), PeakBytes(), base);
        } catch (const CGenericException& e) {
            std::printf("error %s\n", e.what());
            return 1;
        }
        return 0;
    }
    std::fprintf(stderr, "usage: %s make ROOT FOLDERS FILES | scan SOURCE DEST\n", argv[0]);
    return 2;
}
