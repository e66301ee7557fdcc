// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Pure pieces of the command line and the run precondition, kept apart from the main dialog so that
// they can be tested alone. Any thread.

#include <string>
#include <string_view>
#include <vector>

#include "run/Display.h"

// ASCII case-insensitive comparisons of command-line options.
bool EqualsNoCase(const std::string& text, const char* option);
bool StartsWithNoCase(const std::string& text, const char* option);

// The command-line options, told apart as the parser and the start-up both need them.
enum class Option { Usage, Explorer, SrcDir, DestDir, Debug, Backup, Synchronize, Quit, Alert, Other };

// One argument read against the option table: the option, and for "/explorer:", "/srcdir:" and
// "/destdir:" the text after the colon (a view into the argument).
struct Argument {
    Option option = Option::Other;
    std::string_view value;
};
Argument ClassifyArgument(const std::string& argument);

// "--help", "-h" and "--version" are answered at once only when they stand alone (arguments[0] being
// the program); beside other arguments they are arguments like any other the parser does not know.
enum class AtOnce { No, Help, Version };
AtOnce AnswerAtOnce(const std::vector<std::string>& arguments);

// What a start with these arguments asks of a display: an unattended run ("/!b" or "/!s" with "/!q")
// needs none unless it may show a box ("/alert", "/?", an unknown argument before the run option, the
// "/debug" listing without a run); a run or usage request without "/!q" works without the window when
// there is no display; only a plain start needs the window.
DisplayNeed DisplayNeedOf(const std::vector<std::string>& arguments);

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
