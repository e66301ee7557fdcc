// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/GenericException.h"

#include <gtest/gtest.h>

namespace {

TEST(GenericException, Message) {
    const CGenericException e("Directory Error");
    EXPECT_STREQ(e.what(), "Directory Error");
    EXPECT_EQ(e.GetMessageText(), "Directory Error");
}

}  // namespace
