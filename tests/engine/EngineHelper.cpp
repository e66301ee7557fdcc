// SPDX-License-Identifier: GPL-3.0-or-later
// Runs one engine operation in a fresh process, so that tests can run it as an ordinary user.
//   engine_helper scan <root>    prints the names found ("listed: a b") or the error ("error: ...")
//   engine_helper lock <folder>  makes every file read-only as the check-in/check-out lock does, then
//                                prints the files the walk visited ("visited: a b")
#include <cstdio>
#include <string>

#include "engine/CheckInOut.h"
#include "engine/DirScanner.h"
#include "engine/GenericException.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: engine_helper scan|lock <folder>\n", stderr);
        return 2;
    }
    const std::string command = argv[1];
    std::string text;
    if (command == "scan") {
        try {
            CDirScanner scan(argv[2], "", nullptr);
            text = "listed:";
            for (const FileEntry& f : scan.m_files) {
                text += " " + f.m_strName;
            }
        } catch (const CGenericException& e) {
            text = "error: " + e.GetMessageText();
        }
    } else if (command == "lock") {
        CCheckInOutState state;
        state.m_nCheckOp = CheckOpSetReadOnly;
        text = "visited:";
        WalkFiles(argv[2], [&](const WalkEntry& entry) {
            if (!entry.m_bFolder) {
                text += " " + entry.m_strName;
            }
            CheckInOutVisitor(entry, state);
        });
    } else {
        return 2;
    }
    std::fputs(text.c_str(), stdout);
    return 0;
}
