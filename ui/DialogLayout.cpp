// Dialog layout in dialog units.
