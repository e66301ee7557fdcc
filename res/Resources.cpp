// SPDX-License-Identifier: GPL-3.0-or-later
// Resource tables: the dialog templates, the Start menu and the version table, as plain data.
#include "res/Resources.h"
#include "res/Version.h"

#include <algorithm>
#include <map>

namespace res {
namespace {

using K = ControlKind;

// Resource-script defaults: push buttons, edits and check boxes are tab stops unless a template says
// otherwise; statics, icons and progress bars never are.
constexpr unsigned kButton = kTabStop;
constexpr unsigned kEdit = kTabStop;

const std::vector<DialogTemplate>& Templates() {
    static const std::vector<DialogTemplate> templates = {
        {IDD_ABOUTBOX,
         "About Tandrel",
         287,
         79,
         true,
         {
             {IDC_STATIC, K::Icon, "", 7, 7, 21, 20, 0},
             {IDOK, K::DefPushButton, "OK", 230, 7, 50, 14, kButton},
             {IDC_ABOUT_NAME, K::Label, "", 45, 7, 171, 11, kSunken},
             {IDC_ABOUT_TEXT, K::Label, "", 45, 21, 172, 51, kSunken},
         }},
        {IDD_MAIN,
         "Tandrel",
         408,
         198,
         true,
         {
             {IDOK, K::DefPushButton, "OK", 323, 161, 13, 14, kButton | kHidden},
             {IDCANCEL, K::PushButton, "&Quit", 341, 7, 60, 14, kButton},
             {IDC_TREE, K::TreeView, "Tree1", 7, 38, 307, 137, kTabStop | kSunken},
             {IDC_STATIC, K::Label, "Source:", 7, 7, 26, 8, 0},
             {IDC_STATIC, K::Label, "Destination:", 7, 22, 38, 8, 0},
             {IDC_SOURCE, K::Edit, "", 53, 7, 262, 14, kEdit | kReadOnly | kNoBorder},
             {IDC_DESTINATION, K::Edit, "", 53, 23, 262, 14, kEdit | kReadOnly | kNoBorder},
             {IDC_CONFIGURE, K::PushButton, "&Configure...", 341, 161, 60, 14, kButton},
             {IDC_START, K::PushButton, "&Start...", 341, 26, 60, 14, kButton | kDisabled},
             {IDC_HELP, K::PushButton, "&Help...", 341, 145, 60, 14, kButton},
             {IDC_STATUS, K::Label, "", 7, 179, 394, 16, 0},
         }},
        {IDD_JOBLIST,
         "Job list",
         410,
         185,
         true,
         {
             {IDOK, K::DefPushButton, "OK", 353, 7, 50, 14, kButton},
             {IDCANCEL, K::PushButton, "Cancel", 353, 24, 50, 14, kButton},
             {IDC_JOBLIST, K::ListView, "", 7, 7, 339, 171, kTabStop | kSunken},
             {IDC_UNDECIDED, K::Label, "", 353, 44, 50, 24, kHidden},
         }},
        {IDD_SETTINGS,
         "Settings",
         401,
         114,
         true,
         {
             {IDC_STATIC, K::Label, "&Ignore files with extensions:", 7, 18, 87, 8, 0},
             {IDOK, K::DefPushButton, "OK", 344, 7, 50, 14, kButton},
             {IDCANCEL, K::PushButton, "Cancel", 344, 24, 50, 14, kButton},
             {IDC_IGNORE, K::Edit, "", 7, 30, 160, 14, kEdit},
             {IDC_STATIC, K::Label, "This source folder's own (__TD.RVX):", 170, 18, 160, 8, 0},
             {IDC_FOLDER_IGNORE, K::Edit, "", 170, 30, 160, 14, kEdit | kReadOnly},
             {IDC_STATIC, K::Label, "In effect for this source folder:", 7, 47, 160, 8, 0},
             {IDC_EFFECTIVE_IGNORE, K::Edit, "", 7, 56, 323, 14, kEdit | kReadOnly},
             {IDC_CREATE_RVX, K::CheckBox, "&Create RVX file automatically if not exists", 7, 73, 211, 10,
              kTabStop},
             {IDC_ENABLE_CHECKINOUT, K::CheckBox, "&Enable CheckIN/CheckOUT feature", 7, 84, 131, 10,
              kTabStop},
             {IDC_KEEP_REPLACED, K::CheckBox, "&Keep replaced files for", 7, 97, 95, 10, kTabStop},
             {IDC_KEEP_DAYS, K::Edit, "", 104, 95, 26, 14, kEdit},
             {IDC_STATIC, K::Label, "days, in .tandrel-versions of each tree", 134, 98, 196, 8, 0},
         }},
        {IDD_USAGE,
         "Tandrel Usage:",
         402,
         130,
         true,
         {
             {IDOK, K::DefPushButton, "&Close", 345, 7, 50, 14, kButton},
             {IDC_USAGE_ICON, K::Icon, "", 7, 7, 20, 20, kNotify},
             {IDC_STATIC, K::Label, "/?, /h, /help", 26, 39, 80, 8, 0},
             {IDC_STATIC, K::Label, "Displays this help. Click Icon to get program information.", 118, 39,
              277, 8, 0},
             {IDC_STATIC, K::Label, "/srcdir:#", 26, 59, 80, 8, 0},
             {IDC_STATIC, K::Label,
              "Determines the source directory (# ist the directory, use \" if necessary)", 118, 59, 277, 8,
              0},
             {IDC_STATIC, K::Label, "/destdir:#", 26, 69, 80, 8, 0},
             {IDC_STATIC, K::Label, "Determines the destionation directory", 118, 69, 277, 8, 0},
             {IDC_STATIC, K::Label, "/!backup, /!b", 26, 79, 80, 8, 0},
             {IDC_STATIC, K::Label, "Starts backup. (use /srcdir: and /destdir: options before!)", 118, 79,
              277, 8, 0},
             {IDC_STATIC, K::Label, "/!synchronize, /!s", 26, 89, 80, 8, 0},
             {IDC_STATIC, K::Label, "Starts synchronization", 118, 89, 277, 8, 0},
             {IDC_STATIC, K::Label, "/alert, /!alert", 26, 99, 80, 8, 0},
             {IDC_STATIC, K::Label, "Shows a message box if an error occurs while performing \"autobackup\"",
              118, 99, 277, 8, 0},
             {IDC_STATIC, K::Label, "/explorer:#", 26, 49, 80, 8, 0},
             {IDC_STATIC, K::Label, "Use from Exporer to get the current selected directory", 118, 49, 277, 8,
              0},
             {IDC_STATIC, K::Label, "/!quit, /!q", 26, 109, 80, 8, 0},
             {IDC_STATIC, K::Label, "Close Tandrel", 118, 109, 277, 8, 0},
         }},
        {IDD_PROGRESS,
         "TD",
         278,
         50,
         false,
         {
             {IDC_PROGRESS_TEXT, K::Label, "?", 7, 7, 264, 8, 0},
             {IDC_PROGRESS_BAR, K::ProgressBar, "", 7, 20, 264, 24, kSunken},
         }},
        {IDD_NEWDIR,
         "Create a new directory",
         282,
         47,
         true,
         {
             {IDC_STATIC, K::Label, "&Directory:", 7, 10, 40, 8, 0},
             {IDC_NEWDIR_NAME, K::Edit, "", 53, 7, 154, 14, kEdit},
             {IDOK, K::DefPushButton, "OK", 225, 7, 50, 14, kButton | kDisabled},
             {IDCANCEL, K::PushButton, "Cancel", 225, 24, 50, 14, kButton},
         }},
    };
    return templates;
}

// Column of the usage template that holds the options; the explanations stand to its right.
constexpr int kUsageOptionX = 26;
constexpr int kUsageExplanationX = 118;

}  // namespace

const DialogTemplate* FindDialogTemplate(int id) {
    for (const DialogTemplate& dialog : Templates()) {
        if (dialog.id == id) {
            return &dialog;
        }
    }
    return nullptr;
}

const std::vector<MenuEntry>& FindMenuTemplate(int id) {
    static const std::vector<MenuEntry> start = {
        {ID_BACKUP, "&Backup..."},    {ID_SYNCHRONIZE, "&Synchronize..."}, {0, ""},
        {ID_CHECKIN, "Check &In..."}, {ID_CHECKOUT, "Check &Out..."},
    };
    static const std::vector<MenuEntry> none;
    return (id & 0xFFFF) == IDM_START ? start : none;
}

const std::vector<UsageRow>& UsageRows() {
    // Read from the usage template itself, so that the printed usage and the dialog cannot drift apart.
    static const std::vector<UsageRow> rows = [] {
        std::map<int, UsageRow> byY;
        for (const ControlTemplate& control : FindDialogTemplate(IDD_USAGE)->controls) {
            if (control.kind != ControlKind::Label) {
                continue;
            }
            UsageRow& row = byY[control.y];
            if (control.x == kUsageOptionX) {
                row.option = control.text;
            } else if (control.x == kUsageExplanationX) {
                row.explanation = control.text;
            }
        }
        std::vector<UsageRow> ordered;
        for (const auto& [y, row] : byY) {
            ordered.push_back(row);
        }
        return ordered;
    }();
    return rows;
}

const FixedVersionInfo& VersionFixedInfo() {
    constexpr uint32_t kHigh = (kVersionMajor << 16) | kVersionMinor;
    static const FixedVersionInfo info = {
        kHigh,      kVersionPatch,  // file version major.minor.0.patch
        kHigh,      kVersionPatch,  // product version, the same
        0x00000004,                 // VOS__WINDOWS32, as the table has always said
        0x00000001,                 // VFT_APP
        0,
    };
    return info;
}

const std::vector<std::pair<std::string, std::string>>& VersionStrings() {
    static const std::vector<std::pair<std::string, std::string>> strings = {
        {"Comments", "By the Tandrel developers. GPL-3.0-or-later"},
        {"FileDescription", "Tandrel"},
        {"FileVersion", kVersionText},
        {"InternalName", "Tandrel"},
        {"LegalCopyright", "Copyright (C) 2026 The Tandrel developers"},
        {"OriginalFilename", "tandrel"},
        {"ProductName", "Tandrel"},
        {"ProductVersion", kVersionText},
    };
    return strings;
}

bool VersionString(const std::string& key, std::string& value) {
    for (const auto& [name, text] : VersionStrings()) {
        if (name == key) {
            value = text;
            return true;
        }
    }
    value.clear();
    return false;
}

}  // namespace res
