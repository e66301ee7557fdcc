# SPDX-License-Identifier: GPL-3.0-or-later
# Installation of tandrel with its desktop entry, folder context-menu entries, AppStream data, icons,
# manual page, help guide and copyright, and the Debian package built from the same rules
# (scripts/package.sh, or cpack -G DEB in a build folder configured with the "package" preset).
# Included at the end of the top-level CMakeLists.txt, after the tandrel target exists.

include(GNUInstallDirs)

# One reverse-DNS id names the desktop entry, the AppStream component and the icon, so that software
# centres and the desktop can match them.
set(TANDREL_APP_ID "org.tandrel.Tandrel")
set(TANDREL_PACKAGING_DIR "${CMAKE_CURRENT_LIST_DIR}")
set(TANDREL_HELP_GUIDE "${CMAKE_SOURCE_DIR}/docs/TD.html")
set(TANDREL_ICON_SIZES 16 24 32 48 64 128 256)

# The help guide is written separately; reconfigure when a file appears in docs/ so that a guide added
# later is copied and installed without a manual cmake run.
if(IS_DIRECTORY "${CMAKE_SOURCE_DIR}/docs")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/docs")
endif()

# The program looks for its guide beside the executable, so a build-tree tandrel finds it too.
if(EXISTS "${TANDREL_HELP_GUIDE}")
    add_custom_command(
        OUTPUT "${CMAKE_BINARY_DIR}/TD.html"
        COMMAND ${CMAKE_COMMAND} -E copy_if_different "${TANDREL_HELP_GUIDE}" "${CMAKE_BINARY_DIR}/TD.html"
        DEPENDS "${TANDREL_HELP_GUIDE}"
        COMMENT "Copying the help guide beside tandrel")
    add_custom_target(tandrel_help_guide ALL DEPENDS "${CMAKE_BINARY_DIR}/TD.html")
    add_dependencies(tandrel tandrel_help_guide)
endif()

# Debian wants manual pages and changelogs compressed with gzip -9n: no name and no time stamp in the
# header, so that the same sources give the same package.
find_program(TANDREL_GZIP gzip REQUIRED)
set(TANDREL_MANPAGE_GZ "${CMAKE_BINARY_DIR}/packaging/tandrel.1.gz")
configure_file("${TANDREL_PACKAGING_DIR}/tandrel.1.in" "${CMAKE_BINARY_DIR}/packaging/tandrel.1" @ONLY)
set(TANDREL_CHANGELOG_GZ "${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz")
add_custom_command(
    OUTPUT "${TANDREL_MANPAGE_GZ}"
    COMMAND "${TANDREL_GZIP}" -9nc "${CMAKE_BINARY_DIR}/packaging/tandrel.1" > "${TANDREL_MANPAGE_GZ}"
    DEPENDS "${CMAKE_BINARY_DIR}/packaging/tandrel.1"
    COMMENT "Compressing the manual page")
add_custom_command(
    OUTPUT "${TANDREL_CHANGELOG_GZ}"
    COMMAND "${TANDREL_GZIP}" -9nc "${TANDREL_PACKAGING_DIR}/changelog.Debian" > "${TANDREL_CHANGELOG_GZ}"
    DEPENDS "${TANDREL_PACKAGING_DIR}/changelog.Debian"
    COMMENT "Compressing the Debian changelog")
add_custom_target(tandrel_compressed_docs ALL DEPENDS "${TANDREL_MANPAGE_GZ}" "${TANDREL_CHANGELOG_GZ}")

install(TARGETS tandrel RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
# A stripping install (cpack with CPACK_STRIP_FILES, cmake --install --strip) also drops the compiler's
# version notes, as Debian's own packaging tools do.
if(CMAKE_STRIP)
    install(CODE "
        if(CMAKE_INSTALL_DO_STRIP)
            execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/tandrel\" COMMAND_ERROR_IS_FATAL ANY)
        endif()
    ")
endif()

# "Open With" wrapper: turns the folder a file manager passes into "/srcdir:FOLDER".
set(TANDREL_OPEN_DIR "${CMAKE_INSTALL_LIBEXECDIR}/tandrel")
install(PROGRAMS "${TANDREL_PACKAGING_DIR}/tandrel-open" DESTINATION "${TANDREL_OPEN_DIR}")

# The menu entry declares no MIME type: an application entry for inode/directory becomes the default
# handler of folders wherever the file manager does not claim them. Folders reach Tandrel through the
# file managers' own context-menu extensions instead, which the MIME system never consults: a KIO
# service menu (Dolphin), a Send To target (Thunar) and a menu provider (GNOME Files, below).
# Their Exec lines need the wrapper's absolute path, which is only known at install time:
# "cmake --install --prefix" and cpack choose the prefix after configuration.
set(TANDREL_ENTRIES
    "${TANDREL_PACKAGING_DIR}/${TANDREL_APP_ID}.desktop.in" "applications/${TANDREL_APP_ID}.desktop"
    "${TANDREL_PACKAGING_DIR}/${TANDREL_APP_ID}.servicemenu.desktop.in" "kio/servicemenus/${TANDREL_APP_ID}.desktop"
    "${TANDREL_PACKAGING_DIR}/${TANDREL_APP_ID}.sendto.desktop.in" "Thunar/sendto/${TANDREL_APP_ID}.desktop")
install(CODE "
    set(TANDREL_ENTRIES \"${TANDREL_ENTRIES}\")
    set(TANDREL_OPEN_DIR \"${TANDREL_OPEN_DIR}\")
    set(TANDREL_DATAROOT_DIR \"${CMAKE_INSTALL_DATAROOTDIR}\")
    include(\"${TANDREL_PACKAGING_DIR}/InstallDesktopEntry.cmake\")
")

# GNOME Files has no such files of its own; its Python extension host (python3-nautilus) loads menu
# providers from here. The provider finds the wrapper relative to itself, so it needs no prefix.
install(FILES "${TANDREL_PACKAGING_DIR}/tandrel_folder_menu.py"
        DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/nautilus-python/extensions")

install(FILES "${TANDREL_PACKAGING_DIR}/${TANDREL_APP_ID}.metainfo.xml"
        DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/metainfo")
install(FILES "${CMAKE_SOURCE_DIR}/res/tandrel.svg"
        DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps"
        RENAME "${TANDREL_APP_ID}.svg")
# The same PNG renditions the program carries, for panels and menus that do not draw SVG.
foreach(side IN LISTS TANDREL_ICON_SIZES)
    install(FILES "${CMAKE_SOURCE_DIR}/res/icons/tandrel-${side}.png"
            DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/${side}x${side}/apps"
            RENAME "${TANDREL_APP_ID}.png")
endforeach()
install(FILES "${TANDREL_MANPAGE_GZ}" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
# The guide is program data, not documentation: Debian lets administrators leave /usr/share/doc out,
# and Help must work all the same. The program looks in ../share/tandrel/ relative to itself.
if(EXISTS "${TANDREL_HELP_GUIDE}")
    install(FILES "${TANDREL_HELP_GUIDE}" DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/tandrel")
endif()
install(FILES "${TANDREL_PACKAGING_DIR}/copyright" "${TANDREL_CHANGELOG_GZ}"
        DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/doc/tandrel")
install(FILES "${TANDREL_PACKAGING_DIR}/lintian-overrides"
        DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides"
        RENAME tandrel)

include("${TANDREL_PACKAGING_DIR}/Package.cmake")
