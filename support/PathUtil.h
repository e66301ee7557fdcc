// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Path and folder helpers shared by every layer. Paths are byte strings with "/" as
// separator; a folder path in normal form ends with "/". Any thread.

#include <string>
#include <string_view>

// True when text holds none of \ : * ? " < > | and, unless allowSeparators, no "/". There are no drive
// letters and "\" is no separator here, so ":" and "\" stay forbidden in a path too: a path is valid
// exactly when each of its "/"-separated names is. The empty text is valid.
bool IsValidPathName(const std::string& text, bool allowSeparators);

// The current directory, in normal form.
std::string GetCurrentFolder();

// True when path is a folder with a folder of its own; a folder that cannot be entered (or a link given
// as path) gives false, and a link to a folder is no folder. The current directory is never changed.
bool HasSubfolder(const std::string& path);

// Ensures exactly the normal form's trailing "/" (an empty text becomes "/"); nothing else changes.
void NormalizeFolder(std::string& path);

std::string IntToText(long long value);

// The text after the last dot of the final path element; empty without a dot or when it ends in one.
// A view into path: the one extension rule of every layer (ignore list, walk filter).
std::string_view GetExtension(std::string_view path);
