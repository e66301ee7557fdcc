// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Private profile (INI) files: sections "[name]" holding lines "key=value". A parsed text keeps every
// line (comments, blank and unreadable lines, order), so a write changes only the key it writes.
// CProfileFile objects: one thread at a time. The static file operations: any thread.

#include <string>
#include <vector>

class CProfileFile final {
  public:
    // Parses text; LF and CRLF line ends are read. Nothing in text makes parsing fail: lines that cannot
    // be read are kept as they are and yield nothing.
    explicit CProfileFile(const std::string& text = std::string());

    // The value of key in section (both matched ignoring ASCII case), blanks around it trimmed, quotes
    // kept. Where a section or key occurs twice, the first occurrence counts. False when absent.
    bool Get(const std::string& section, const std::string& key, std::string& value) const;

    // Replaces the key's value in place, or adds the key after the last key of its section (before the
    // section's trailing blank lines), or adds the section with the key at the end of the text.
    // False, and nothing changed, when a name or the value cannot be stored in a line: a line break or
    // NUL anywhere, "]" in the section, "=" in the key, or an empty or blank-edged section or key name.
    [[nodiscard]] bool Set(const std::string& section, const std::string& key, const std::string& value);

    // The whole text, every line ended in the style the parsed text used (CRLF if its first line end
    // was CRLF, else LF).
    std::string Text() const;

    // Where a profile-file name addresses: a bare name (no "/") lies in the configuration folder, any
    // other name is used as it stands.
    static std::string ResolvePath(const std::string& file);

    // The text of a file, "" when it is absent or cannot be read. Never creates the file.
    static std::string ReadText(const std::string& file);

    // Reads one key of a file; default when the file, section or key is absent or the file cannot be
    // read. Never creates the file.
    static std::string ReadValue(const std::string& file, const std::string& section, const std::string& key,
                                 const std::string& defaultValue);

    struct Entry {
        std::string section;
        std::string key;
        std::string value;
    };

    // Writes keys of a file (created when missing) in order, keeping everything else in the file, in one
    // replacement: every write costs a flush to the disk. The file is replaced atomically: on failure
    // the old file is untouched. A file that already reads as the result is left alone. An existing file
    // that cannot be read is not replaced (its other contents would be lost). An entry that cannot be
    // stored (see Set) is left out and makes the call fail with EINVAL after the others are written. A
    // process-wide lock makes concurrent writers of one file lose nothing. On failure the calling thread's
    // last error says why where the platform reported one.
    [[nodiscard]] static bool WriteValues(const std::string& file, const std::vector<Entry>& entries);

  private:
    enum class LineKind { Other, Section, Key };
    struct Line {
        std::string text;  // as read, without its line end
        LineKind kind = LineKind::Other;
        std::string name;   // section name or key, trimmed
        std::string value;  // key lines: the value, trimmed
        int section = -1;   // index of the section this line lies in; -1 before the first section
                            // or below a header that cannot be read
    };

    // Index of the first readable section header named section, or -1.
    int FindSection(const std::string& section) const;
    int FindKey(const std::string& section, const std::string& key) const;

    std::vector<Line> m_lines;
    bool m_bCrLf = false;
};
