// SPDX-License-Identifier: GPL-3.0-or-later
// A main for the fuzz targets in ordinary builds: runs the target once over each file named on the
// command line (the seed corpus and every input that once found a fault), so that they stay regression
// tests without libFuzzer. Exit status 0 when every input ran; a failed property aborts the process.

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        ++count;
    }
    std::printf("%d inputs ran\n", count);
    return count > 0 ? 0 : 1;
}
