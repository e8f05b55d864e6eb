# SPDX-License-Identifier: GPL-3.0-or-later
#
# Run by CPack on the staged tree of the package, before it is packed: every folder
# gets mode 0755, whatever the umask of the build was (the folders CPack makes on
# the way to a file follow the umask). The files' modes are set by the install rules.
if(NOT IS_DIRECTORY "${CPACK_TEMPORARY_DIRECTORY}")
    message(FATAL_ERROR "no staged package tree at '${CPACK_TEMPORARY_DIRECTORY}'")
endif()
file(GLOB_RECURSE entries LIST_DIRECTORIES true "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(entry IN ITEMS "${CPACK_TEMPORARY_DIRECTORY}" LISTS entries)
    if(IS_DIRECTORY "${entry}" AND NOT IS_SYMLINK "${entry}")
        file(CHMOD "${entry}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
             GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    endif()
endforeach()
