// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Terminal.h"

#include <locale.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <wchar.h>

namespace platform {

namespace {

// The text for a terminal: control bytes (from file names in a message) other than line breaks and tabs
// would be obeyed by the terminal, so they are shown as "?".
std::string ForTerminal(std::string text) {
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\n' && c != '\t') || byte == 0x7f) {
            c = '?';
        }
    }
    return text;
}

}  // namespace

void PrintMessage(const std::string& text) {
    fprintf(stderr, "tandrel: %s\n", ForTerminal(text).c_str());
    fflush(stderr);
}


bool StandardErrorIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

int TerminalColumns() {
    struct winsize size {};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

int CharacterColumns(char32_t c) {
    // A locale object, used for this call alone: the process's locale stays as it is.
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    if (!utf8) {
        return 1;
    }
    const locale_t previous = uselocale(utf8);
    const int width = wcwidth(static_cast<wchar_t>(c));
    uselocale(previous);
    return width < 0 ? 1 : width;
}

}  // namespace platform
