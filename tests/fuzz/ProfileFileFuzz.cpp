// SPDX-License-Identifier: GPL-3.0-or-later
// Profile files come from outside (a stick's "__TD.RVX"): parsing any bytes must not crash, the text must
// survive a second parse unchanged, and a write must change only its own key and read back as written.
// Input: file text, then section, key, value, and a second section and key to watch (0x01 between).

#include <cstddef>
#include <cstdint>
#include <string>

#include "support/ProfileFile.h"
#include "tests/fuzz/FuzzInput.h"

namespace {

std::string Trim(const std::string& text) {
    const size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) {
        return std::string();
    }
    return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] + 32) : a[i];
        char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] + 32) : b[i];
        if (x != y) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto p = fuzz::Pieces(data, size, 6);
    const std::string& text = p[0];
    const std::string& section = p[1];
    const std::string& key = p[2];
    const std::string& value = p[3];
    const std::string& otherSection = p[4];
    const std::string& otherKey = p[5];

    CProfileFile file(text);
    const std::string once = file.Text();
    FUZZ_CHECK(CProfileFile(once).Text() == once);

    std::string otherBefore;
    const bool otherPresent = file.Get(otherSection, otherKey, otherBefore);
    if (!file.Set(section, key, value)) {
        FUZZ_CHECK(file.Text() == once);  // a refused write changes nothing
        return 0;
    }
    std::string read;
    FUZZ_CHECK(file.Get(section, key, read));
    FUZZ_CHECK(read == Trim(value));
    CProfileFile reparsed(file.Text());
    std::string reread;
    FUZZ_CHECK(reparsed.Get(section, key, reread));
    FUZZ_CHECK(reread == read);

    if (!(EqualNoCase(Trim(otherSection), Trim(section)) && EqualNoCase(Trim(otherKey), Trim(key)))) {
        std::string otherAfter;
        const bool stillPresent = reparsed.Get(otherSection, otherKey, otherAfter);
        FUZZ_CHECK(stillPresent == otherPresent);
        FUZZ_CHECK(otherAfter == otherBefore);
    }
    return 0;
}
