// SPDX-License-Identifier: GPL-3.0-or-later
// The settings record of the main dialog: "Tandrel.ini" and the source folder's "__TD.RVX".
// User-interface thread, except CreateFolderFile, which a run calls on its own thread.

#include "platform/FileSystem.h"
#include "res/Strings.h"
#include "run/FolderSettings.h"
#include "run/RunLog.h"
#include "support/IgnoreList.h"
#include "support/PathUtil.h"
#include "support/Reg.h"
#include "ui/MainDlg.h"

#include <algorithm>

void ReadIfNotEmpty(CReg& reg, const std::string& key, std::string& variable,
                    const std::string& defaultText) {
    std::string value = reg.GetString(key, defaultText);
    if (!value.empty()) {
        variable = value;
    }
}

void CMainDlg::ExchangeSettings(int mode) {
    CReg reg(mode, "Init", res::kSettingsFile);
    reg.ExchangeString("m_strDestinationDir", "", m_strDestinationDir);
    reg.ExchangeString("m_strSourceDir", "", m_strSourceDir);
    if (mode == CReg::Read) {
        NormalizeFolder(m_strDestinationDir);
        NormalizeFolder(m_strSourceDir);
    }
    reg.SetSection("Config");
    reg.ExchangeString("Ignore", "bak tmp", m_strIgnore);
    reg.ExchangeInt("CreateRvx", 0, m_bCreateRvx);
    reg.ExchangeInt("EnableCheckInOut", 0, m_bEnableCheckInOut);
    reg.ExchangeInt("KeepReplacedDays", 0, m_nKeepReplacedDays);
    if (mode == CReg::Read) {
        // The two switches are flags; a hand-edited "2" still means on.
        m_bCreateRvx = m_bCreateRvx != 0;
        m_bEnableCheckInOut = m_bEnableCheckInOut != 0;
        m_nKeepReplacedDays = std::max(m_nKeepReplacedDays, 0);
    }
}

void CMainDlg::ReadFolderFile() {
    const std::string path = m_strSourceDir + res::kFolderFile;
    CReg reg(CReg::Read, "TD", path);
    std::string destination;
    ReadIfNotEmpty(reg, "DestDir", destination, "");
    if (!destination.empty()) {
        // A file another user wrote (or may write) would send this user's files where that user wants.
        if (platform::IsOwnAndPrivateToWrite(path)) {
            m_strDestinationDir = destination;
        } else {
            WriteRunLog(res::kFolderFileDistrusted + path, RunLogDetail);
        }
    }
    ReadIfNotEmpty(reg, "Ignore", m_strFolderIgnore, "+");
    m_strEffectiveIgnore = ExpandIgnoreList(m_strIgnore, m_strFolderIgnore);
    ReadIfNotEmpty(reg, "KeepReplacedDays", m_strFolderKeepReplaced, "+");
}

int KeepReplacedDays(int global, const std::string& folder) {
    // As with the ignore list, "+" (or a missing key) means the global setting; anything but a whole
    // number of days counts as "+" too, so that a typo never turns the keeping off.
    if (folder.empty() || folder.size() > 9 || folder.find_first_not_of("0123456789") != std::string::npos) {
        return global;
    }
    return std::stoi(folder);
}

void CreateFolderFile(const std::string& sourceDir, const std::string& destinationDir) {
    std::string path = sourceDir + res::kFolderFile;
    if (platform::PathExists(path)) {
        return;
    }
    CReg reg(CReg::Write, "TD", path);
    std::string destination = destinationDir;
    std::string ignore = "+";
    reg.ExchangeString("DestDir", "", destination);
    reg.ExchangeString("Ignore", "", ignore);
}
