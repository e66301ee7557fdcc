// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helpers of the settings files. Any thread.

#include <string>

class CReg;

// Reads key with defaultText and assigns the result to variable only when it is not empty.
void ReadIfNotEmpty(CReg& reg, const std::string& key, std::string& variable, const std::string& defaultText);

// The days a run keeps replaced files: the source folder's own "KeepReplacedDays" when it is a whole
// number (0 turns keeping off for that folder), else ("+", missing, anything else) the global setting.
int KeepReplacedDays(int global, const std::string& folder);

// Writes the source folder's settings file "__TD.RVX" naming destinationDir and the global ignore list
// ("+"), unless the file exists.
void CreateFolderFile(const std::string& sourceDir, const std::string& destinationDir);
