// SPDX-License-Identifier: GPL-3.0-or-later
// Version-table reader over the compiled-in table.
#include "ui/VersionInfo.h"

#include <cstring>
#include <optional>

#include "support/Mutex.h"

namespace {

CMutex g_tableMutex;
std::string g_strPrefix GUARDED_BY(g_tableMutex);
std::optional<VersionTable> g_testTable GUARDED_BY(g_tableMutex);

VersionTable CompiledTable() {
    VersionTable table;
    table.fixed = res::VersionFixedInfo();
    table.strings = res::VersionStrings();
    return table;
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

std::vector<std::string> SplitBlocks(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '\\') {
            if (!part.empty()) {
                parts.push_back(part);
            }
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) {
        parts.push_back(part);
    }
    return parts;
}

// Looks up a sub-block path such as "\StringFileInfo\000004E4\ProductName" or "\". Requires g_tableMutex.
bool Query(const VersionTable& table, const std::string& path, std::string& out) {
    out.clear();
    const std::vector<std::string> parts = SplitBlocks(path);
    if (parts.empty()) {
        if (!table.hasFixed) {
            return false;
        }
        out.assign(reinterpret_cast<const char*>(&table.fixed), sizeof table.fixed);
        return true;
    }
    if (parts.size() != 3 || !SameIgnoringCase(parts[0], "StringFileInfo") ||
        !SameIgnoringCase(parts[1], table.language)) {
        return false;
    }
    for (const auto& [key, value] : table.strings) {
        if (SameIgnoringCase(key, parts[2])) {
            out = value;
            return true;
        }
    }
    return false;
}

const VersionTable& CurrentTable() REQUIRES(g_tableMutex) {
    static const VersionTable compiled = CompiledTable();
    return g_testTable ? *g_testTable : compiled;
}

}  // namespace

void SetVersionInfoSource(const std::string& prefix) {
    CMutexLock lock(g_tableMutex);
    g_strPrefix = prefix;
}

bool GetVersionString(std::string& out, const std::string& key) {
    CMutexLock lock(g_tableMutex);
    return Query(CurrentTable(), g_strPrefix + key, out);
}

bool GetFixedVersionInfo(res::FixedVersionInfo& info) {
    std::string bytes;
    bool ok = false;
    {
        CMutexLock lock(g_tableMutex);
        // The root block is read without the string prefix; holding the lock keeps the caller's prefix.
        ok = Query(CurrentTable(), "\\", bytes);
    }
    info = res::FixedVersionInfo{};
    if (!ok || bytes.size() != sizeof info) {
        return false;
    }
    std::memcpy(&info, bytes.data(), sizeof info);
    return true;
}

bool GetProductVersion(uint16_t* major, uint16_t* minor, uint16_t* build) {
    res::FixedVersionInfo info{};
    (void)GetFixedVersionInfo(info);  // a missing table leaves zeros, shown as version 0.0
    if (major) {
        *major = static_cast<uint16_t>(info.productVersionMS >> 16);
    }
    if (minor) {
        *minor = static_cast<uint16_t>(info.productVersionMS & 0xFFFF);
    }
    if (build) {
        *build = static_cast<uint16_t>(info.productVersionLS & 0xFFFF);
    }
    return (info.productVersionLS >> 16) == 0;
}

void TestSetVersionTable(const VersionTable* table) {
    CMutexLock lock(g_tableMutex);
    if (table) {
        g_testTable = *table;
    } else {
        g_testTable.reset();
    }
}
