// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/GenericException.h"

void RaisePathError(const std::string& path, platform::CError err) {
    platform::SetLastError(err);
    throw CGenericException(err.About(path));
}
