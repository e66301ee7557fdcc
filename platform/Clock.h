// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Wall-clock readings. Any thread.

#include <string>

namespace platform {

int CurrentUtcYear();
// Local date then time to the second, as the user's locale writes them.
std::string LocalTimeStamp();

}  // namespace platform
