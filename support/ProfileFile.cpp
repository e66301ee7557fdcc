// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/ProfileFile.h"

#include <cerrno>

#include "platform/FileSystem.h"
#include "platform/Error.h"
#include "support/AsciiCase.h"
#include "support/Mutex.h"

namespace {

// One lock for every profile file: each read-modify-write must see the previous writer's result.
CMutex g_fileMutex;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string Trim(const std::string& text) {
    std::string::size_type begin = 0;
    std::string::size_type end = text.size();
    while (begin < end && IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

bool HasLineBreakOrNul(const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

// A name that reads back as itself: not empty, no blanks at its edges, nothing that ends or splits a line.
bool IsStorableName(const std::string& name, const char* forbidden) {
    return !name.empty() && Trim(name) == name && !HasLineBreakOrNul(name) &&
           name.find_first_of(forbidden) == std::string::npos;
}

}  // namespace

CProfileFile::CProfileFile(const std::string& text) {
    const std::string::size_type firstEnd = text.find('\n');
    m_bCrLf = firstEnd != std::string::npos && firstEnd > 0 && text[firstEnd - 1] == '\r';

    int currentSection = -1;
    std::string::size_type pos = 0;
    while (pos < text.size()) {
        std::string::size_type end = text.find('\n', pos);
        if (end == std::string::npos) {
            end = text.size();
        }
        Line line;
        line.text = text.substr(pos, end - pos);
        // Every CR before the LF belongs to the line end ("\r\r\n" is written by some editors); one left
        // in the text would end a value read from it and go away on the next write of the file.
        while (!line.text.empty() && line.text.back() == '\r') {
            line.text.pop_back();
        }
        pos = end + 1;

        const std::string trimmed = Trim(line.text);
        if (!trimmed.empty() && trimmed[0] == '[') {
            const std::string::size_type close = trimmed.find(']');
            if (close == std::string::npos) {
                // Keys below a header that cannot be read belong to no section anyone can name.
                currentSection = -1;
            } else {
                line.kind = LineKind::Section;
                line.name = Trim(trimmed.substr(1, close - 1));
                currentSection = static_cast<int>(m_lines.size());
            }
        } else if (!trimmed.empty() && trimmed[0] != ';') {
            const std::string::size_type equals = trimmed.find('=');
            if (equals != std::string::npos && equals > 0) {
                line.kind = LineKind::Key;
                line.name = Trim(trimmed.substr(0, equals));
                line.value = Trim(trimmed.substr(equals + 1));
            }
        }
        line.section = line.kind == LineKind::Section ? -1 : currentSection;
        m_lines.push_back(std::move(line));
    }
}

int CProfileFile::FindSection(const std::string& section) const {
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].kind == LineKind::Section && EqualIgnoringCase(m_lines[i].name, section)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int CProfileFile::FindKey(const std::string& section, const std::string& key) const {
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        const Line& line = m_lines[i];
        if (line.kind == LineKind::Key && line.section >= 0 && EqualIgnoringCase(line.name, key) &&
            EqualIgnoringCase(m_lines[static_cast<std::size_t>(line.section)].name, section)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool CProfileFile::Get(const std::string& section, const std::string& key, std::string& value) const {
    const int index = FindKey(section, key);
    if (index < 0) {
        return false;
    }
    value = m_lines[static_cast<std::size_t>(index)].value;
    return true;
}

bool CProfileFile::Set(const std::string& section, const std::string& key, const std::string& value) {
    if (!IsStorableName(section, "]") || !IsStorableName(key, "=") || key[0] == '[' || key[0] == ';' ||
        HasLineBreakOrNul(value)) {
        return false;
    }
    Line keyLine;
    keyLine.kind = LineKind::Key;
    keyLine.value = Trim(value);

    const int existing = FindKey(section, key);
    if (existing >= 0) {
        Line& line = m_lines[static_cast<std::size_t>(existing)];
        // The file's own spelling of the key stays.
        line.text = line.name + "=" + value;
        line.value = keyLine.value;
        return true;
    }

    keyLine.name = key;
    keyLine.text = key + "=" + value;
    const int header = FindSection(section);
    if (header >= 0) {
        std::size_t insertAt = static_cast<std::size_t>(header) + 1;
        for (std::size_t i = insertAt; i < m_lines.size() && m_lines[i].kind != LineKind::Section; ++i) {
            if (m_lines[i].kind == LineKind::Key && m_lines[i].section == header) {
                insertAt = i + 1;
            }
        }
        keyLine.section = header;
        m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(keyLine));
        // Lines below moved down by one; their section indexes must follow.
        for (std::size_t i = insertAt + 1; i < m_lines.size(); ++i) {
            if (m_lines[i].section >= static_cast<int>(insertAt)) {
                ++m_lines[i].section;
            }
        }
        return true;
    }

    if (!m_lines.empty() && !Trim(m_lines.back().text).empty()) {
        m_lines.push_back(Line());
    }
    Line headerLine;
    headerLine.kind = LineKind::Section;
    headerLine.name = section;
    headerLine.text = "[" + section + "]";
    m_lines.push_back(std::move(headerLine));
    keyLine.section = static_cast<int>(m_lines.size()) - 1;
    m_lines.push_back(std::move(keyLine));
    return true;
}

std::string CProfileFile::Text() const {
    const char* lineEnd = m_bCrLf ? "\r\n" : "\n";
    std::string text;
    for (const Line& line : m_lines) {
        text += line.text;
        text += lineEnd;
    }
    return text;
}

std::string CProfileFile::ResolvePath(const std::string& file) {
    if (file.find('/') == std::string::npos) {
        return platform::ConfigFolder() + file;
    }
    return file;
}

std::string CProfileFile::ReadText(const std::string& file) {
    std::string data;
    CMutexLock lock(g_fileMutex);
    return platform::ReadWholeFile(ResolvePath(file), data) ? data : std::string();
}

std::string CProfileFile::ReadValue(const std::string& file, const std::string& section,
                                    const std::string& key, const std::string& defaultValue) {
    std::string value;
    return CProfileFile(ReadText(file)).Get(section, key, value) ? value : defaultValue;
}

bool CProfileFile::WriteValues(const std::string& file, const std::vector<Entry>& entries) {
    const std::string path = ResolvePath(file);
    CMutexLock lock(g_fileMutex);
    std::string data;
    if (!platform::ReadWholeFile(path, data)) {
        if (platform::LastError().Kind() != platform::ErrorKind::NotFound) {
            return false;
        }
        data.clear();
    }
    CProfileFile profile(data);
    bool allStored = true;
    for (const Entry& entry : entries) {
        allStored = profile.Set(entry.section, entry.key, entry.value) && allStored;
    }
    const std::string text = profile.Text();
    // Settings saved at every exit mostly hold what they held: no rewrite, no flush.
    if (text != data && !platform::WriteFileAtomic(path, text)) {
        return false;
    }
    if (!allStored) {
        platform::SetLastError(EINVAL);
    }
    return allStored;
}
