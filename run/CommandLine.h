// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Pure pieces of the command line and the run precondition, kept apart from the main dialog so that
// they can be tested alone. Any thread.

#include <string>

// ASCII case-insensitive comparisons of command-line options.
bool EqualsNoCase(const std::string& text, const char* option);
bool StartsWithNoCase(const std::string& text, const char* option);

// The last folder name of a folder path, ignoring one trailing "/": "/work/Project/" gives "Project".
std::string LastFolderName(const std::string& path);

// The shortest source or destination folder that is not a file-system root ("/x/").
inline constexpr size_t kMinRunFolderLength = 3;

// The run precondition on a source and a destination folder (both taken in normal form): the destination
// is neither the source nor inside it, the source is not inside the destination, both are long enough, and
// their last folder names are equal ignoring ASCII case.
bool RunPreconditionHolds(const std::string& source, const std::string& destination);

// Why a person cannot start a run with these folders (each may be missing from disk, as exists says),
// in one sentence for the main window; "" when the run precondition holds.
std::string StartHint(const std::string& source, const std::string& destination,
                      bool (*exists)(const std::string& folder));
