# Flags and settings that make a build of one commit byte-identical wherever and whenever it runs.
# scripts/reproducible-check.sh proves it: two clean clones in two folders, built one after the other.

# The date every time stamp of a build stands for: SOURCE_DATE_EPOCH when a packager sets it, else
# the commit's date (the source's, not the build's: a clone made later still gives the same bytes).
# Outside a git clone (a source tarball) nothing is set and the tools keep their own dates.
function(vantor_source_date_epoch out)
    if(DEFINED ENV{SOURCE_DATE_EPOCH})
        set(${out} "$ENV{SOURCE_DATE_EPOCH}" PARENT_SCOPE)
        return()
    endif()
    execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE epoch RESULT_VARIABLE status ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(status EQUAL 0 AND epoch MATCHES "^[0-9]+$")
        set(${out} "${epoch}" PARENT_SCOPE)
    else()
        set(${out} "" PARENT_SCOPE)
    endif()
endfunction()
vantor_source_date_epoch(VANTOR_SOURCE_DATE_EPOCH)

if(NOT MSVC)
    # No build folder or clone folder in what is compiled (__FILE__ in assertions, debug information):
    # the source tree reads as ".", the build folder as "build". The build folder's map comes last,
    # so it wins where the build folder lies inside the clone. Debug builds keep their real paths
    # for the debugger.
    add_compile_options("$<$<NOT:$<CONFIG:Debug>>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.>"
                        "$<$<NOT:$<CONFIG:Debug>>:-ffile-prefix-map=${PROJECT_BINARY_DIR}=build>")
endif()
if(WIN32 AND NOT MSVC)
    # GNU ld writes the link's time into a PE file's header unless told not to; the resource
    # compiler writes none.
    add_link_options(LINKER:--no-insert-timestamp)
endif()

# cpack runs later and elsewhere than this configuration: the file it reads first gives it the date,
# read again at packaging time so that a commit made since the configuration is the one packaged.
# CPack's DEB generator takes its archives' member times from SOURCE_DATE_EPOCH.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackReproducible.cmake)
file(WRITE ${CPACK_PROJECT_CONFIG_FILE}
     "# Written by cmake/Reproducible.cmake: the date of what is packaged.\n"
     "if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})\n"
     "    execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY \"${PROJECT_SOURCE_DIR}\"\n"
     "        OUTPUT_VARIABLE epoch RESULT_VARIABLE status ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)\n"
     "    if(status EQUAL 0 AND epoch MATCHES \"^[0-9]+$\")\n"
     "        set(ENV{SOURCE_DATE_EPOCH} \"\${epoch}\")\n"
     "    endif()\n"
     "endif()\n")

# Folders made by installing (and so the .deb's) get these permissions whatever the builder's umask
# is: with umask 0002 they would be group-writable, and the package another. The .deb's ar members
# take theirs from the files cpack writes, which only a umask of 022 at packaging time fixes
# (scripts/release.sh sets it).
set(vantor_directory_permissions OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
                                 WORLD_EXECUTE)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${vantor_directory_permissions})
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${vantor_directory_permissions})
