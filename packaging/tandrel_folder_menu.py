# SPDX-License-Identifier: GPL-3.0-or-later
# GNOME Files (with nautilus-python): "Back Up or Synchronize with Tandrel" in the context menu of one
# local folder. A menu provider, unlike a MIME type in the desktop entry, never makes Tandrel the handler
# of folders. Installed in share/nautilus-python/extensions/; the "Open With" wrapper is found from there.
import os

from gi.repository import GLib, GObject, Nautilus

WRAPPER = os.path.normpath(
    os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "libexec", "tandrel", "tandrel-open"))


class TandrelFolderMenu(GObject.GObject, Nautilus.MenuProvider):
    # nautilus-python 4 passes (files), 1.x and 3.x (window, files): the files come last either way.
    def get_file_items(self, *arguments):
        files = arguments[-1]
        if len(files) != 1 or not files[0].is_directory() or files[0].get_uri_scheme() != "file":
            return []
        folder = files[0].get_location().get_path()
        item = Nautilus.MenuItem(name="TandrelFolderMenu::Source", label="Back Up or Synchronize with Tandrel")
        item.connect("activate", self._start, folder)
        return [item]

    def _start(self, _item, folder):
        # Spawned without waiting; GLib reaps the wrapper when it ends.
        GLib.spawn_async([WRAPPER, folder])
