# SPDX-License-Identifier: GPL-3.0-or-later
# Runs at install time (from cmake_install.cmake): writes the desktop entries, the Dolphin service menu
# and the Thunar Send To target with the absolute path of the "Open With" wrapper, which depends on the
# prefix chosen by "cmake --install --prefix" or cpack.
# Expects TANDREL_ENTRIES (pairs of a template and its destination relative to the data root),
# TANDREL_OPEN_DIR and TANDREL_DATAROOT_DIR (the last two relative to the prefix, or absolute).

function(tandrel_under_prefix dir out)
    if(IS_ABSOLUTE "${dir}")
        set(${out} "${dir}" PARENT_SCOPE)
    else()
        set(${out} "${CMAKE_INSTALL_PREFIX}/${dir}" PARENT_SCOPE)
    endif()
endfunction()

# One argument of an Exec line: quoted when it holds a reserved character, with the escapes of the
# quoted form ("\\", "\"", "\`", "\$") and then those of a desktop-entry string (each "\" doubled).
function(tandrel_exec_argument text out)
    string(REPLACE "%" "%%" text "${text}")
    if(text MATCHES "[] \t\n\"'\\\\><~|&;$*?#()`[]")
        string(REPLACE "\\" "\\\\" text "${text}")
        string(REPLACE "\"" "\\\"" text "${text}")
        string(REPLACE "`" "\\`" text "${text}")
        string(REPLACE "$" "\\$" text "${text}")
        string(REPLACE "\\" "\\\\" text "${text}")
        set(text "\"${text}\"")
    endif()
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

tandrel_under_prefix("${TANDREL_OPEN_DIR}" open_dir)
tandrel_under_prefix("${TANDREL_DATAROOT_DIR}" dataroot_dir)
tandrel_exec_argument("${open_dir}/tandrel-open" open_command)

set(entries ${TANDREL_ENTRIES})
while(entries)
    list(POP_FRONT entries template destination)
    set(entry_path "$ENV{DESTDIR}${dataroot_dir}/${destination}")
    message(STATUS "Installing: ${entry_path}")
    file(READ "${template}" entry)
    # The templates' leading comments are for the source tree only.
    string(REGEX REPLACE "^(#[^\n]*\n)+" "" entry "${entry}")
    string(REPLACE "@TANDREL_OPEN@" "${open_command}" entry "${entry}")
    file(WRITE "${entry_path}" "${entry}")
    # Root-owned and not executable: KIO trusts service menus by their owner, and no entry needs more.
    file(CHMOD "${entry_path}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${entry_path}")
endwhile()
