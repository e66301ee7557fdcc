// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/engine/EngineFakes.h"

#include "engine/Executor.h"
#include "engine/GenericException.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <utility>

#include <gtest/gtest.h>

namespace engine_test {

std::string ThrownText(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const CGenericException& e) {
        return e.GetMessageText();
    }
    return "(no exception)";
}

void SortAsListed(std::vector<platform::DirEntry>& entries) {
    // The name in lower case (ASCII), then the name: written out apart from the program's comparison.
    const auto key = [](const std::string& name) {
        std::string lower = name;
        for (char& c : lower) {
            c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
        }
        return std::make_pair(lower, name);
    };
    std::sort(entries.begin(), entries.end(), [&](const platform::DirEntry& a, const platform::DirEntry& b) {
        return key(a.name) < key(b.name);
    });
}

void ExpectedOrder(const std::string& folder, const std::string& prefix, std::vector<std::string>& out,
                   const std::string& skip) {
    std::vector<platform::DirEntry> entries;
    ASSERT_PLATFORM_OK(platform::ListFolder(folder, entries));
    SortAsListed(entries);
    for (const platform::DirEntry& e : entries) {
        if (e.kind == platform::EntryKind::Folder) {
            ExpectedOrder(folder + "/" + e.name, prefix + e.name + "/", out, skip);
        } else if (e.kind != platform::EntryKind::Other &&
                   (skip.empty() || e.name.find(skip) == std::string::npos)) {
            out.push_back(prefix + e.name);
        }
    }
}

Trees::Trees() {
    testing_support::MakeFolder(src);
    testing_support::MakeFolder(dst);
}

void Trees::Build(int mode) {
    builder.reset();
    sourceScan = std::make_unique<CDirScanner>(src, "", nullptr);
    destScan = std::make_unique<CDirScanner>(dst, "", nullptr);
    builder = std::make_unique<CWorkListBuilder>(*sourceScan, *destScan, nullptr);
    builder->ApplyRunMode(mode);
}

CWorkListBuilder& Trees::Empty() {
    Build(RunBackup);
    builder->m_items.clear();
    return *builder;
}

int Trees::Execute(IRunHost& host, int mode, const std::string& stamp) {
    std::string s = src;
    std::string d = dst;
    const int result = ExecuteWorkList(host, s, d, *builder, mode, stamp);
    EXPECT_EQ(s, src + "/");
    EXPECT_EQ(d, dst + "/");
    return result;
}

}  // namespace engine_test
