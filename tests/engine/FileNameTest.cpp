// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/FileName.h"

#include <sstream>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

TEST(FileName, BehavesAsAValueWhoseCopiesShareTheText) {
    const FileName empty;
    EXPECT_TRUE(empty.empty());
    EXPECT_EQ(empty, "");
    EXPECT_EQ(FileName(""), empty) << "an empty text is the empty name";

    FileName a("folder/file name.txt");
    FileName b = a;
    EXPECT_EQ(b.View().data(), a.View().data()) << "a copy shares the text";
    EXPECT_EQ(b, std::string("folder/file name.txt"));
    EXPECT_EQ(b.size(), 20u);
    EXPECT_EQ(b.View().data()[b.size()], '\0');

    FileName c("folder/file name.txt");
    EXPECT_EQ(c, a) << "equal texts in separate buffers";
    EXPECT_NE(c.View().data(), a.View().data());
    EXPECT_FALSE(FileName("a") == FileName("b"));
    EXPECT_TRUE(FileName("a") < FileName("b"));

    // Assignments in every direction leave each object with its own value.
    b = FileName("other");
    EXPECT_EQ(a, "folder/file name.txt");
    EXPECT_EQ(b, "other");
    const FileName& same = b;
    b = same;  // self-assignment keeps the text alive
    EXPECT_EQ(b, "other");
    FileName moved = std::move(b);
    EXPECT_EQ(moved, "other");
    a = std::move(moved);
    EXPECT_EQ(a, "other");
    a.clear();
    EXPECT_TRUE(a.empty());

    // Bytes that are not UTF-8 and an embedded NUL survive.
    const std::string bytes("x\xff\0y", 4);
    EXPECT_EQ(FileName(bytes).Str(), bytes);

    std::ostringstream out;
    out << FileName("shown");
    EXPECT_EQ(out.str(), "shown");
    EXPECT_EQ("root/" + FileName("name"), "root/name");
}

// Copies made and dropped on several threads at once must neither leak nor free the text early
// (the sanitizer build turns either into a failure).
TEST(FileName, CopiesOnSeveralThreads) {
    const FileName shared("shared/name.txt");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&shared] {
            for (int i = 0; i < 20000; ++i) {
                FileName copy = shared;
                FileName other = copy;
                copy = FileName("own");
                ASSERT_EQ(other, "shared/name.txt");
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(shared, "shared/name.txt");
}

}  // namespace
