// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's own texts, exactly as users and scripts have always seen them (misspellings included:
// run logs and scripts may match them). Code adds only paths and the system's error text.
// Plain C++: every layer may include it. Any thread.

#include "res/Version.h"  // kVersionLine

namespace res {

// String table.
inline constexpr const char* kAboutMenuEntry = "&About Tandrel...";  // string 101

// Start-up and command line.
inline constexpr const char* kDateGuard =
    "This version of Tandrel does not work if year > 2035\nTry to get a newer version!";
inline constexpr const char* kInvalidParameter = "Invalid parameter: ";
inline constexpr const char* kAutoRunErrors = "There where autobackup errors!";

// Run log.
inline constexpr const char* kLogSource = "source:      ";
inline constexpr const char* kLogDestination = "destination: ";
inline constexpr const char* kLogStartBackup = "start backup...";
inline constexpr const char* kLogStartSynchronize = "start synchronization...";
inline constexpr const char* kLogOk = "OK!";
inline constexpr const char* kLogError = "ERROR!";
inline constexpr const char* kLogGeneralError = "General Error!";
inline constexpr const char* kLogAutoQuit = "AutoQuit!";
inline constexpr const char* kRunLogName = "TandrelAutoRun.log";
inline constexpr const char* kForeignFolder =
    " is not a folder of your own (a link, or another user's): Tandrel reads no settings from it and "
    "writes no log into it. Remove it, or set XDG_CONFIG_HOME and XDG_STATE_HOME to folders of yours.";
inline constexpr const char* kFolderFileDistrusted =
    "DestDir ignored: not your file, or others may write it: ";
inline constexpr const char* kRunLogUnwritable = "cannot write the run log ";

// Engine.
inline constexpr const char* kDirectoryError = "Directory Error";
inline constexpr const char* kCreatingWorklist1 = "Creating worklist 1/2";
inline constexpr const char* kCreatingWorklist2 = "Creating worklist 2/2";
inline constexpr const char* kUnknownOperation = "Unkown operation: ";
inline constexpr const char* kSourceTag = " (source)";
inline constexpr const char* kDestinationTag = " (destination)";
inline constexpr const char* kCopy = "Copy ";
inline constexpr const char* kCopyTo = " to ";
inline constexpr const char* kAlreadyCheckedOut = "Already checked out!";
inline constexpr const char* kAlreadyCheckedIn = "Already checked in!";
// Texts of this port: what Windows' media never asked for.
inline constexpr const char* kCaseClashAnd = " and ";
inline constexpr const char* kCaseClashEnd =
    " differ only in letter case, and one of the two folders cannot tell them apart: the run copies nothing";
inline constexpr const char* kClockOff1 = ": this medium reads a write time back ";
inline constexpr const char* kClockOff2 = " seconds (";
inline constexpr const char* kClockLater = " hours) later";
inline constexpr const char* kClockEarlier = " hours) earlier";
inline constexpr const char* kClockEnd =
    " than it was set, so no time on it can be compared: the run copies nothing. Its driver converts times "
    "through a time zone; a mount option such as tz=UTC is the usual cure";
inline constexpr const char* kRefusedNoSource = "the source folder does not exist: ";
inline constexpr const char* kRefusedNoDestination = "the destination folder does not exist: ";
inline constexpr const char* kRefusedPair =
    "the destination must have the same last folder name as the source, and neither folder may lie "
    "inside the other";
// Why Start is disabled, in the main window's status line and the button's tooltip.
inline constexpr const char* kHintNoSource =
    "No source folder yet: drop a folder onto this window, or right-click one in the tree and choose "
    "\"Use as Source Folder\".";
inline constexpr const char* kHintSourceMissing =
    "Choose another source folder (drop one here or use the tree's menu); this one does not exist: ";
inline constexpr const char* kHintNoDestination =
    "Now select the destination in the tree: a folder outside the source with the same name, \"";
inline constexpr const char* kHintInside =
    "One folder lies inside the other: select a destination outside the source, and not above it.";
inline constexpr const char* kHintNamesDiffer = "The last folder names differ (\"";
inline constexpr const char* kHintNamesDifferEnd = "\"): select a destination named like the source.";
inline constexpr const char* kUseAsSource = "Use as Source Folder";
inline constexpr const char* kInterrupted = "Interrupted";
inline constexpr const char* kChangedDuringRun =
    ": another program saved a file there during the run; it was left as it is and the run stopped";
// Keeping replaced files: the run stops before a replacement whose old file cannot be kept.
inline constexpr const char* kKeepVersion = "Cannot keep the replaced file ";
inline constexpr const char* kKeepVersionAs = " as ";
inline constexpr const char* kPruneFailed = "Old versions not removed: ";
inline constexpr const char* kNoReadOnly =
    ": this file system cannot keep files read-only, which check-in and check-out need";

// Run titles of the progress window.
inline constexpr const char* kTitleBackup = "Backup files...";
inline constexpr const char* kTitleSynchronize = "Synchronize files...";
inline constexpr const char* kTitleCheckIn = "Check in files...";
inline constexpr const char* kTitleCheckOut = "Check out files...";
inline constexpr const char* kTitleDefault = "TD";

// Job list.
inline constexpr const char* kNoSource = "(no source)";
inline constexpr const char* kNoDestination = "(no destination)";
inline constexpr const char* kBug = "!!BUG!!";
inline constexpr const char* kOperation = "Operation";
inline constexpr const char* kOpCheckIn = "CheckIN ";
inline constexpr const char* kOpCheckOut = "CheckOUT ";
inline constexpr const char* kOpUnknown = "don't know!";
inline constexpr const char* kOpBackup = "{backup}";
inline constexpr const char* kOpSynchronize = "{synchronize}";
inline constexpr const char* kOpCreate = "{create}";
inline constexpr const char* kOpNotToSource = "{skipped: folder settings stay out of the source}";
// Why a row is undecided, and what resolves it: the row's tooltip.
inline constexpr const char* kWhyNoSource =
    "The destination file has no source file, and a backup never deletes. Move or delete it in the "
    "destination, or run Synchronize to copy it back; then start again.";
inline constexpr const char* kWhyDestNewer =
    "The destination file is newer by %1, and a backup never copies over a newer file. Run Synchronize "
    "to copy it back, or save the source file again; then start again.";
inline constexpr const char* kWhyCaseClash =
    "Two names that this medium takes for one: they differ only in letter case. Rename one of them; "
    "then start again.";
inline constexpr const char* kWhyUnknown = "This file cannot be decided for this run.";
inline constexpr const char* kUndecidedCount = "%1 undecided\nF3: next";

// Dialogs.
inline constexpr const char* kCannotCreateDirectory = "Cannot create directory: ";
// The project's addresses, shown as links in the About dialog.
inline constexpr const char* kAuthorMail = "tandrel-devel@tandrel.org";
inline constexpr const char* kAuthorWeb = "https://tandrel.org/";

// Files.
inline constexpr const char* kSettingsFile = "Tandrel.ini";
inline constexpr const char* kFolderFile = "__TD.RVX";
inline constexpr const char* kSwitchesFile = "VOLMDEBUGLOG.INI";
inline constexpr const char* kTraceLogFile = "VOLMDEBUG.LOG";
inline constexpr const char* kHelpFile = "TD.html";

}  // namespace res
