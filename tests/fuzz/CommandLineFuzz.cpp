// SPDX-License-Identifier: GPL-3.0-or-later
// Command-line options and the folders they name come from whoever wrote the cron line or the desktop
// entry: the option comparisons and the run precondition must hold their rules for any bytes.
// Input: an argument, an option text, a source folder and a destination folder (0x01 between).

#include <cstddef>
#include <cstdint>
#include <string>

#include "run/CommandLine.h"
#include "support/PathUtil.h"
#include "tests/fuzz/FuzzInput.h"

namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

bool SameNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto p = fuzz::Pieces(data, size, 4);
    const std::string& argument = p[0];
    // Options are C strings: cut at the first NUL as the compiled-in texts are.
    const std::string option = p[1].substr(0, p[1].find('\0'));
    const std::string& source = p[2];
    const std::string& destination = p[3];

    const bool equals = EqualsNoCase(argument, option.c_str());
    const bool startsWith = StartsWithNoCase(argument, option.c_str());
    FUZZ_CHECK(equals == SameNoCase(argument, option));
    FUZZ_CHECK(startsWith ==
               (argument.size() >= option.size() && SameNoCase(argument.substr(0, option.size()), option)));
    FUZZ_CHECK(!equals || startsWith);

    FUZZ_CHECK(LastFolderName(source).find('/') == std::string::npos);
    FUZZ_CHECK(!RunPreconditionHolds(source, source));
    if (RunPreconditionHolds(source, destination)) {
        std::string s = source;
        std::string d = destination;
        NormalizeFolder(s);
        NormalizeFolder(d);
        FUZZ_CHECK(s != d);
        FUZZ_CHECK(d.compare(0, s.size(), s) != 0);  // never the source itself or a folder inside it
        FUZZ_CHECK(s.compare(0, d.size(), d) != 0);  // nor a folder the source lies in
        FUZZ_CHECK(s.size() >= kMinRunFolderLength && d.size() >= kMinRunFolderLength);
        FUZZ_CHECK(SameNoCase(LastFolderName(s), LastFolderName(d)));
    }
    return 0;
}
