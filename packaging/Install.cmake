# Installation of tandrel with its desktop entry, AppStream data, icon, manual page and help guide,
# and the Debian package built from the same rules (cpack -G DEB). Included at the end of the
# top-level CMakeLists.txt, after the tandrel target exists.

include(GNUInstallDirs)

# One reverse-DNS id names the desktop entry, the AppStream component and the icon, so that software
# centres and the desktop can match them.
set(TANDREL_APP_ID "org.tandrel.Tandrel")
set(TANDREL_PACKAGING_DIR "${CMAKE_CURRENT_LIST_DIR}")
set(TANDREL_HELP_GUIDE "${CMAKE_SOURCE_DIR}/docs/TD.html")

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

install(TARGETS tandrel RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")

# "Open With" wrapper: turns the folder a file manager passes into "/srcdir:FOLDER".
set(TANDREL_OPEN_DIR "${CMAKE_INSTALL_LIBEXECDIR}/tandrel")
install(PROGRAMS "${TANDREL_PACKAGING_DIR}/tandrel-open" DESTINATION "${TANDREL_OPEN_DIR}")

# The desktop entry's Exec line needs the wrapper's absolute path, which is only known at install time:
# "cmake --install --prefix" and cpack choose the prefix after configuration.
install(CODE "
    set(TANDREL_ENTRY_TEMPLATE \"${TANDREL_PACKAGING_DIR}/${TANDREL_APP_ID}.desktop.in\")
    set(TANDREL_ENTRY_NAME \"${TANDREL_APP_ID}.desktop\")
    set(TANDREL_OPEN_DIR \"${TANDREL_OPEN_DIR}\")
    set(TANDREL_DATAROOT_DIR \"${CMAKE_INSTALL_DATAROOTDIR}\")
    include(\"${TANDREL_PACKAGING_DIR}/InstallDesktopEntry.cmake\")
")

install(FILES "${TANDREL_PACKAGING_DIR}/${TANDREL_APP_ID}.metainfo.xml"
        DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/metainfo")
install(FILES "${CMAKE_SOURCE_DIR}/res/tandrel.svg"
        DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps"
        RENAME "${TANDREL_APP_ID}.svg")
install(FILES "${TANDREL_PACKAGING_DIR}/tandrel.1" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
# Fixed folder name: the program looks for its guide in ../share/doc/tandrel/ relative to itself.
if(EXISTS "${TANDREL_HELP_GUIDE}")
    install(FILES "${TANDREL_HELP_GUIDE}" DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/doc/tandrel")
endif()

include("${TANDREL_PACKAGING_DIR}/Package.cmake")
