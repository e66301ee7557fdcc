#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# accessible.py APP TITLE...: through AT-SPI, every text field, tree and table in the windows of APP with
# these titles must have an accessible name. Prints "ok" and the named fields, or each unnamed field and
# exits 1; exits 2 when a window is not found.
import sys

import pyatspi

FIELDS = {pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY, pyatspi.ROLE_PASSWORD_TEXT, pyatspi.ROLE_TREE,
          pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_TABLE, pyatspi.ROLE_LIST, pyatspi.ROLE_SPIN_BUTTON}


def fields(node, depth=0):
    if node is None or depth > 3:
        return
    if node.getRole() in FIELDS:
        yield node
        return  # the rows of a tree or table are named by their text
    for i in range(node.childCount):
        yield from fields(node.getChildAtIndex(i), depth + 1)


app_name, titles = sys.argv[1], set(sys.argv[2:])
desktop = pyatspi.Registry.getDesktop(0)
windows = [w for app in desktop if app is not None and app.name == app_name
           for w in app if w is not None and w.name in titles]
if {w.name for w in windows} != titles:
    print("missing windows:", titles - {w.name for w in windows})
    sys.exit(2)
unnamed = []
named = []
for window in windows:
    for field in fields(window):
        (named if field.name else unnamed).append(f"{window.name}: {field.getRoleName()} {field.name!r}")
print("\n".join(unnamed) if unnamed else "ok: " + ", ".join(named))
sys.exit(1 if unnamed else 0)
