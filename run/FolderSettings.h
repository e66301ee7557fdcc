// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading helper of the settings files. Any thread.

#include <string>

class CReg;

// Reads key with defaultText and assigns the result to variable only when it is not empty.
void ReadIfNotEmpty(CReg& reg, const std::string& key, std::string& variable, const std::string& defaultText);
