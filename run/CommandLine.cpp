// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/CommandLine.h"

#include "res/Strings.h"
#include "support/AsciiCase.h"
#include "support/PathUtil.h"

bool EqualsNoCase(const std::string& text, const char* option) {
    return EqualIgnoringCase(text, option);
}

bool StartsWithNoCase(const std::string& text, const char* option) {
    const std::string_view prefix(option);
    return EqualIgnoringCase(std::string_view(text).substr(0, prefix.size()), prefix);
}

std::string LastFolderName(const std::string& path) {
    std::string trimmed = path;
    if (!trimmed.empty() && trimmed.back() == '/') {
        trimmed.pop_back();
    }
    size_t slash = trimmed.rfind('/');
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

bool RunPreconditionHolds(const std::string& source, const std::string& destination) {
    // Both are compared in normal form: a destination taken from the tree may lack its trailing "/",
    // and "/a/Data" must not pass as a folder other than "/a/Data/".
    std::string s = source;
    std::string d = destination;
    NormalizeFolder(s);
    NormalizeFolder(d);
    // The destination may not be the source or lie inside it. (Where paths begin with a drive letter a
    // search for the source anywhere in the destination means the same; here it would also refuse
    // /media/usb/home/ann/Data/ as a copy of /home/ann/Data/.)
    if (d.compare(0, s.size(), s) == 0) {
        return false;
    }
    // Nor may the source lie inside the destination: the destination's scan would list the source's
    // files as its own, and every synchronize would copy them back into the source one level deeper.
    if (s.compare(0, d.size(), d) == 0) {
        return false;
    }
    if (d.size() < kMinRunFolderLength || s.size() < kMinRunFolderLength) {
        return false;
    }
    std::string lastD = LastFolderName(d);
    std::string lastS = LastFolderName(s);
    return EqualIgnoringCase(lastD, lastS);
}

std::string StartHint(const std::string& source, const std::string& destination,
                      bool (*exists)(const std::string& folder)) {
    std::string s = source;
    std::string d = destination;
    NormalizeFolder(s);
    NormalizeFolder(d);
    // "/" is what an empty setting reads as: no folder chosen yet.
    if (s.size() < kMinRunFolderLength) {
        return res::kHintNoSource;
    }
    if (!exists(s)) {
        return res::kHintSourceMissing + s;
    }
    if (d.size() < kMinRunFolderLength || !exists(d)) {
        return res::kHintNoDestination + LastFolderName(s) + "\".";
    }
    if (RunPreconditionHolds(s, d)) {
        return {};
    }
    if (d.compare(0, s.size(), s) == 0 || s.compare(0, d.size(), d) == 0) {
        return res::kHintInside;
    }
    return res::kHintNamesDiffer + LastFolderName(d) + "\" and \"" + LastFolderName(s) +
           res::kHintNamesDifferEnd;
}
