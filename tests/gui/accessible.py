#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# accessible.py APP TITLE...: through AT-SPI, every text field, tree and table of APP's windows with these
# titles has an accessible name. Prints the unnamed ones and exits 1; exits 2 when a window is missing.
import sys
import time

import pyatspi

FIELDS = {pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY, pyatspi.ROLE_TREE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_TABLE}


def fields(node, depth=0):
    if node is not None and node.getRole() in FIELDS:
        yield node  # rows and cells are named by their text
    elif node is not None and depth < 3:
        for i in range(node.childCount):
            yield from fields(node.getChildAtIndex(i), depth + 1)


titles = set(sys.argv[2:])
for attempt in range(30):  # the windows reach the bus a moment after they show
    windows = [w for app in pyatspi.Registry.getDesktop(0) if app is not None and app.name == sys.argv[1]
               for w in app if w is not None and w.name in titles]
    if {w.name for w in windows} == titles:
        break
    time.sleep(0.5)
else:
    sys.exit(2)
unnamed = [f"{w.name}: {f.getRoleName()}" for w in windows for f in fields(w) if not f.name]
print("\n".join(unnamed) or "ok")
sys.exit(1 if unnamed else 0)
