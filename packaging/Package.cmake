# SPDX-License-Identifier: GPL-3.0-or-later
# Debian package of the installed files: scripts/package.sh, or cpack in a build folder configured with
# the "package" preset (CMakePresets.json: a hardened release build). Runtime dependencies on libraries
# are found by dpkg-shlibdeps from the libraries tandrel links, so they follow the Qt the build used;
# the Qt plugins it loads at run time are named here, since no linker sees them.

set(CPACK_PACKAGE_NAME "tandrel")
set(CPACK_PACKAGE_VENDOR "The Tandrel developers")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keep a copy of a folder tree in another folder")
# Debian wants the long description wrapped; each line becomes one indented line of the control file.
set(CPACK_PACKAGE_DESCRIPTION [=[
Tandrel keeps a copy of one folder tree in another: Backup, Synchronize,
Check Out and Check In, interactively with a job list to confirm, or
unattended from the command line or cron with a run log. It compares
modification times, copies files through a temporary file so that an
interrupted run never leaves a partial copy, and never deletes a file.]=])
set(CPACK_PACKAGE_HOMEPAGE_URL "https://tandrel.org/")
set(CPACK_PACKAGE_CONTACT "The Tandrel developers <tandrel-devel@tandrel.org>")
set(CPACK_RESOURCE_FILE_LICENSE "${CMAKE_SOURCE_DIR}/LICENSE")
set(CPACK_GENERATOR "DEB")
# Paths written at install time (the desktop entry's Exec line) must name /usr, not cpack's staging
# folder: install with the final prefix under DESTDIR, whatever the generator's own default.
set(CPACK_SET_DESTDIR ON)
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_INSTALL_PREFIX "/usr")
# Debian ships stripped programs (the debug symbols belong in a separate package) and folders that are
# rwxr-xr-x whatever the umask of whoever builds.
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The Debian revision comes from the newest entry of the packaging changelog, which must be about this
# release: a version bump without a changelog entry stops the configuration.
file(STRINGS "${CMAKE_CURRENT_LIST_DIR}/changelog.Debian" tandrel_changelog_head LIMIT_COUNT 1)
if(NOT tandrel_changelog_head MATCHES "^tandrel \\(([^()-]+)-([^()-]+)\\) ")
    message(FATAL_ERROR "packaging/changelog.Debian does not start with 'tandrel (VERSION-REVISION) ...'")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
    message(FATAL_ERROR "packaging/changelog.Debian is about ${CMAKE_MATCH_1}, the project is ${PROJECT_VERSION}: "
                        "add an entry for ${PROJECT_VERSION}-1")
endif()
set(CPACK_DEBIAN_PACKAGE_RELEASE "${CMAKE_MATCH_2}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${CPACK_PACKAGE_HOMEPAGE_URL}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded by Qt at run time, so dpkg-shlibdeps cannot see them: the SVG image and icon-engine plugins
# (plugins/imageformats/libqsvg.so, plugins/iconengines/libqsvgicon.so) draw the icon at any size.
# The platform plugin for X11 comes with libqt6gui6, which the library dependencies already name.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
# Help opens the guide in the desktop's browser through xdg-open where no desktop portal does it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
# GNOME Files shows the folder menu entry only through its Python extension host.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3-nautilus")

include(CPack)
