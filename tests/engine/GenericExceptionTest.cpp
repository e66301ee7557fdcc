// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/GenericException.h"

#include <cstring>

#include <gtest/gtest.h>

namespace {

TEST(GenericException, MessageAndBufferCopy) {
    EXPECT_EQ(CGenericException().GetMessageText(), "no error");
    EXPECT_EQ(CGenericException(static_cast<const char*>(nullptr)).GetMessageText(), "no error");
    const CGenericException e("Directory Error");
    EXPECT_STREQ(e.what(), "Directory Error");

    struct Row {
        unsigned size;
        const char* expected;
    };
    for (const Row& row :
         {Row{6, "Direc"}, Row{1, ""}, Row{16, "Directory Error"}, Row{64, "Directory Error"}}) {
        char buffer[64];
        std::memset(buffer, 'x', sizeof buffer);
        unsigned help = 77;
        e.GetErrorMessage(buffer, row.size, &help);
        EXPECT_STREQ(buffer, row.expected) << "size " << row.size;
        EXPECT_EQ(help, 77u) << "help context must stay untouched";
    }
    char untouched = 'x';
    e.GetErrorMessage(&untouched, 0, nullptr);
    EXPECT_EQ(untouched, 'x') << "a zero-sized buffer must not be written";
}

}  // namespace
