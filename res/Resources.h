// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Resource tables: dialog templates in dialog units, the Start menu, and the version table. Plain data,
// read by ui/ to build windows. Any thread (the tables never change).

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace res {

// Dialog templates.
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_MAIN = 102;
inline constexpr int IDD_JOBLIST = 129;
inline constexpr int IDD_SETTINGS = 133;
inline constexpr int IDD_USAGE = 134;
inline constexpr int IDD_PROGRESS = 135;
inline constexpr int IDD_NEWDIR = 137;

// Controls and commands.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDC_STATIC = -1;
inline constexpr int IDC_TREE = 1000;
inline constexpr int IDC_SOURCE = 1001;
inline constexpr int IDC_DESTINATION = 1002;
inline constexpr int ID_BACKUP = 1004;
inline constexpr int ID_SYNCHRONIZE = 1005;
inline constexpr int IDC_JOBLIST = 1006;
inline constexpr int IDC_CONFIGURE = 1010;
inline constexpr int IDC_IGNORE = 1012;
inline constexpr int IDC_FOLDER_IGNORE = 1013;
inline constexpr int IDC_EFFECTIVE_IGNORE = 1014;
inline constexpr int IDC_USAGE_ICON = 1016;
inline constexpr int IDC_CREATE_RVX = 1017;
inline constexpr int IDC_PROGRESS_BAR = 1018;
inline constexpr int IDC_PROGRESS_TEXT = 1019;
inline constexpr int IDC_START = 1020;
inline constexpr int IDM_START = 1020;
inline constexpr int IDC_NEWDIR_NAME = 1021;
inline constexpr int IDC_ABOUT_NAME = 1022;
inline constexpr int IDC_ABOUT_TEXT = 1023;
inline constexpr int IDC_ENABLE_CHECKINOUT = 1024;
inline constexpr int IDC_HELP = 1025;
inline constexpr int IDC_UNDECIDED = 1031;  // the job list's count of undecided rows
inline constexpr int IDC_STATUS = 1030;     // the main window's status line: why Start is disabled
inline constexpr int IDC_KEEP_REPLACED = 1040;  // "Keep replaced files for" and its day count
inline constexpr int IDC_KEEP_DAYS = 1041;
inline constexpr int ID_CHECKIN = 32771;
inline constexpr int ID_CHECKOUT = 32772;

enum class ControlKind {
    PushButton,
    DefPushButton,
    Label,
    Icon,
    Edit,
    CheckBox,
    TreeView,
    ListView,
    ProgressBar
};

// Style bits of a control template.
inline constexpr unsigned kDisabled = 0x01;
inline constexpr unsigned kHidden = 0x02;
inline constexpr unsigned kReadOnly = 0x04;
inline constexpr unsigned kNoBorder = 0x08;
inline constexpr unsigned kSunken = 0x10;
inline constexpr unsigned kTabStop = 0x20;
inline constexpr unsigned kNotify = 0x40;  // an icon that reports clicks

struct ControlTemplate {
    int id;
    ControlKind kind;
    const char* text;
    int x, y, cx, cy;  // dialog units
    unsigned style;
};

struct DialogTemplate {
    int id;
    const char* caption;
    int cx, cy;                             // dialog units
    bool systemMenu;                        // false: no close box
    std::vector<ControlTemplate> controls;  // in tab order
};

// The template with that id, or null.
const DialogTemplate* FindDialogTemplate(int id);

struct MenuEntry {
    int id;  // 0: separator
    const char* text;
};
// The popup entries of menu 1020; empty for an unknown id.
const std::vector<MenuEntry>& FindMenuTemplate(int id);

// One command-line option of the usage dialog (template 134) and its explanation.
struct UsageRow {
    const char* option = "";
    const char* explanation = "";
};
// The usage rows in the order the dialog shows them (top to bottom), read from template 134.
const std::vector<UsageRow>& UsageRows();

// The version table of the program.
struct FixedVersionInfo {
    uint32_t fileVersionMS, fileVersionLS;
    uint32_t productVersionMS, productVersionLS;
    uint32_t fileOS, fileType, fileFlags;
};
const FixedVersionInfo& VersionFixedInfo();
// A string value of the version table ("ProductName", "LegalCopyright", ...); false (and value
// empty) when missing. Keys match exactly.
bool VersionString(const std::string& key, std::string& value);
// Every (key, value) of the version table's one string table, language kVersionLanguage.
const std::vector<std::pair<std::string, std::string>>& VersionStrings();
inline constexpr const char* kVersionLanguage = "000004e4";  // language neutral, code page 1252

}  // namespace res
