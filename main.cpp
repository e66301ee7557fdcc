// SPDX-License-Identifier: GPL-3.0-or-later
// Tandrel: keeps a copy of one folder tree in another. The program is its application object.
#include "run/MainApp.h"

int main(int argc, char** argv) {
    CMainApp app(argc, argv);
    return app.Run();
}
