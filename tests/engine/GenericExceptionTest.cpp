// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/EngineBase.h"
#include "engine/GenericException.h"
#include "platform/LastError.h"
#include "tests/engine/EngineFakes.h"

#include <cerrno>
#include <cstring>

#include <gtest/gtest.h>

namespace {

using engine_test::ThrownText;

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
        EXPECT_TRUE(e.GetErrorMessage(buffer, row.size, &help));
        EXPECT_STREQ(buffer, row.expected) << "size " << row.size;
        EXPECT_EQ(help, 77u) << "help context must stay untouched";
    }
    char untouched = 'x';
    EXPECT_TRUE(e.GetErrorMessage(&untouched, 0, nullptr));
    EXPECT_EQ(untouched, 'x') << "a zero-sized buffer must not be written";
}

TEST(GenericException, RaiseSystemErrorAndSetError) {
    platform::SetLastError(0);
    EXPECT_EQ(ThrownText([] { RaiseSystemError("/x"); }), "(no exception)");
    EXPECT_EQ(ThrownText([] { RaiseSystemError(nullptr); }), "(no exception)");

    const std::string text = platform::ErrorText(ENOENT);
    ASSERT_FALSE(text.empty());
    platform::SetLastError(ENOENT);
    EXPECT_EQ(ThrownText([] { RaiseSystemError("/x/y"); }), "/x/y: " + text);
    platform::SetLastError(ENOENT);
    EXPECT_EQ(ThrownText([] { RaiseSystemError(nullptr); }), text);

    struct Base : CEngineBase {};
    Base base;
    EXPECT_EQ(ThrownText([&] { base.CheckError(); }), "(no exception)");
    platform::SetLastError(ENOENT);
    EXPECT_EQ(ThrownText([&] { base.SetError(1); }), "Directory Error")
        << "an error flag wins over the errno";
    EXPECT_EQ(ThrownText([&] { base.CheckError(); }), "Directory Error") << "the flag stays set";
    platform::SetLastError(EACCES);
    EXPECT_EQ(ThrownText([&] { base.SetError(0); }), platform::ErrorText(EACCES));
    platform::SetLastError(0);
}

}  // namespace
