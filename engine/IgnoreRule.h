// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which files a scan leaves out, by extension. Built once per scan from the ignore text; any thread.
//
// The ignore text is a list of extensions separated by blanks, commas or semicolons. An entry may be
// written bak, .bak, *.bak or "bak"; it matches a file whose extension (the text after the last dot of
// its name: a.tar.gz has gz, .profile has profile) equals it ignoring ASCII case. The entry "" (two
// double quotes) matches files without an extension. Entries that say nothing else ("*", ".") are dropped.

#include <string>
#include <string_view>
#include <vector>

class CIgnoreRule {
  public:
    explicit CIgnoreRule(const std::string& ignoreText);

    // True when the file (a name or a path; only its last element counts) is to be left out.
    bool IsIgnored(std::string_view fileName) const;
    bool Empty() const { return m_extensions.empty() && !m_bNoExtension; }

  private:
    std::vector<std::string> m_extensions;  // lower-case, without dots, quotes or stars; none empty
    bool m_bNoExtension = false;            // the entry "" was given
};
