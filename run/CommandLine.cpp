// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/CommandLine.h"

#include "res/Strings.h"
#include "support/AsciiCase.h"
#include "support/PathUtil.h"

#include <array>

bool EqualsNoCase(const std::string& text, const char* option) {
    return EqualIgnoringCase(text, option);
}

bool StartsWithNoCase(const std::string& text, const char* option) {
    const std::string_view prefix(option);
    return EqualIgnoringCase(std::string_view(text).substr(0, prefix.size()), prefix);
}

namespace {

// Every spelling the command line knows, matched ignoring ASCII case; one ending in ":" takes the rest of
// the argument as its value. The spellings of an answer are answered at once when they stand alone and
// are unknown arguments beside others.
struct Spellings {
    std::array<const char*, 3> texts;  // null after the last
    Option option;
    AtOnce alone = AtOnce::No;
};

constexpr Spellings kOptions[] = {
    {{"/?", "/h", "/help"}, Option::Usage},
    {{"/explorer:"}, Option::Explorer},
    {{"/srcdir:"}, Option::SrcDir},
    {{"/destdir:"}, Option::DestDir},
    {{"/debug"}, Option::Debug},
    {{"/!backup", "/!b"}, Option::Backup},
    {{"/!synchronize", "/!s"}, Option::Synchronize},
    {{"/!quit", "/!q"}, Option::Quit},
    {{"/alert", "/!alert"}, Option::Alert},
    {{"--help", "-h"}, Option::Other, AtOnce::Help},
    {{"--version"}, Option::Other, AtOnce::Version},
};

bool Matches(const std::string& arg, std::string_view spelling) {
    return spelling.back() == ':' ? StartsWithNoCase(arg, spelling.data())
                                  : EqualsNoCase(arg, spelling.data());
}

}  // namespace

Argument ClassifyArgument(const std::string& arg) {
    for (const Spellings& row : kOptions) {
        for (const char* text : row.texts) {
            if (text && row.alone == AtOnce::No && Matches(arg, text)) {
                return {row.option, std::string_view(arg).substr(std::string_view(text).size())};
            }
        }
    }
    return {};
}

AtOnce AnswerAtOnce(const std::vector<std::string>& arguments) {
    for (const Spellings& row : kOptions) {
        for (const char* text : row.texts) {
            if (text && row.alone != AtOnce::No && arguments.size() == 2 && Matches(arguments[1], text)) {
                return row.alone;
            }
        }
    }
    return AtOnce::No;
}

DisplayNeed DisplayNeedOf(const std::vector<std::string>& arguments) {
    bool run = false;
    bool quit = false;
    bool usage = false;
    bool debug = false;
    bool box = false;
    for (size_t i = 1; i < arguments.size(); ++i) {
        switch (ClassifyArgument(arguments[i]).option) {
            case Option::Backup:
            case Option::Synchronize:
                run = true;
                break;
            case Option::Quit:
                quit = true;
                break;
            case Option::Usage:
                usage = true;
                break;
            case Option::Debug:
                debug = true;
                break;
            case Option::Alert:
                box = true;  // the alert after a failed run
                break;
            case Option::Other:
                box = box || !run;  // reported in a box until a run option has been read
                break;
            default:
                break;
        }
    }
    box = box || usage || (debug && !run);
    if (run && quit) {
        return box ? DisplayNeed::Either : DisplayNeed::None;
    }
    return run || quit || usage ? DisplayNeed::Either : DisplayNeed::Window;
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
