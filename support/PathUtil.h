// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Path, folder and error-text helpers shared by every layer. Paths are byte strings with "/" as
// separator; a folder path in normal form ends with "/". Any thread.

#include <string>
#include <string_view>

// The calling thread's last platform error as text, carriage returns and line feeds turned into blanks.
// The text lives in a thread-local buffer that the next call on the same thread overwrites.
const std::string& SystemErrorText();

// True when text holds none of \ : * ? " < > | and, unless allowSeparators, no "/". There are no drive
// letters and "\" is no separator here, so ":" and "\" stay forbidden in a path too: a path is valid
// exactly when each of its "/"-separated names is. The empty text is valid.
bool IsValidPathName(const std::string& text, bool allowSeparators);

// Folder kinds: 0 the system folder, 1 the configuration folder, 2 the current directory; other kinds
// give "/". The result is in normal form.
std::string GetSpecialFolder(int kind);
std::string GetSystemFolder();
std::string GetCurrentFolder();
bool SetCurrentFolder(const std::string& path);

// Folder inspections; a folder that cannot be entered (or a link given as path) gives false / 0. Only
// the folder's own entries count; a link to a folder counts as an entry but not as a folder. The current
// directory is never changed.
bool HasSubfolder(const std::string& path);
int CountFolderEntries(const std::string& path, bool foldersOnly);

// Ensures exactly the normal form's trailing "/" (an empty text becomes "/"); nothing else changes.
void NormalizeFolder(std::string& path);

std::string IntToText(long long value);

// Splits a path into drive (always empty here), folder (with its trailing "/") and file name.
void SplitPath(const std::string& path, std::string* drive, std::string* folder, std::string* name);
std::string GetFolderPart(const std::string& path);
// The text after the last dot of the final path element; empty without a dot or when it ends in one.
// A view into path: the one extension rule of every layer (ignore list, walk filter).
std::string_view GetExtension(std::string_view path);
