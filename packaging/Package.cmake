# Debian package of the installed files: cpack -G DEB in the build folder. Runtime dependencies are
# found by dpkg-shlibdeps from the libraries tandrel links, so they follow the Qt the build used.

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
set(CPACK_GENERATOR "DEB")
# Paths written at install time (the desktop entry's Exec line) must name /usr, not cpack's staging
# folder: install with the final prefix under DESTDIR, whatever the generator's own default.
set(CPACK_SET_DESTDIR ON)
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_INSTALL_PREFIX "/usr")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

include(CPack)
