# The third-party components each shipped program holds: the manifest, and what is made from it.
# packaging/third-party/thirdparty.py makes everything below from packaging/third-party/manifest.json,
# with the versions this machine has: the programs' component table (src/notices), and on Linux the
# .deb's copyright file and notices. Run at configure time, so a licence text that cannot be found stops
# the build before anything is compiled; a change to the manifest or the generator configures anew.
find_program(VANTOR_PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
find_program(VANTOR_PYTHON NAMES python3)
if(NOT VANTOR_PYTHON)
    message(FATAL_ERROR "python3 is missing: install Debian's python3 (scripts/install-deps.sh)")
endif()
set(VANTOR_THIRD_PARTY_TOOL ${PROJECT_SOURCE_DIR}/packaging/third-party/thirdparty.py)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${VANTOR_THIRD_PARTY_TOOL} ${PROJECT_SOURCE_DIR}/packaging/third-party/manifest.json)

function(vantor_third_party)
    execute_process(COMMAND ${VANTOR_PYTHON} ${VANTOR_THIRD_PARTY_TOOL} ${ARGN}
                    RESULT_VARIABLE status ERROR_VARIABLE error)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "The third-party notices could not be made:\n${error}")
    endif()
endfunction()

# The generator's own options come before its command, the table's after it.
set(vantor_qt_legal_option)
set(vantor_table_options)
if(WIN32)
    list(APPEND vantor_table_options --platform windows)
    if(VANTOR_BUILD_GUI)
        # Qt's licences and attributions lie beside the static Qt's prefix (scripts/build-qt-windows.sh).
        get_filename_component(vantor_qt_prefix "${Qt6_DIR}/../../.." ABSOLUTE)
        if(NOT EXISTS ${vantor_qt_prefix}.legal/source.txt)
            message(FATAL_ERROR "${vantor_qt_prefix}.legal/source.txt is missing: the notices of a static Qt are "
                    "made from its own licence files. Copy your Qt source's LICENSES folder and every "
                    "qt_attribution.json and licence file under its src folder, with their paths, into "
                    "${vantor_qt_prefix}.legal, and write 'qt6-base VERSION' into its source.txt "
                    "(scripts/build-qt-windows.sh does so for its own Qt).")
        endif()
        set(vantor_qt_legal_option --qt-legal ${vantor_qt_prefix}.legal)
        # The notices name the commit the program is built from, for rebuilding it with another Qt:
        # a new commit configures anew.
        execute_process(COMMAND git -C ${PROJECT_SOURCE_DIR} rev-parse --git-path logs/HEAD
                        OUTPUT_VARIABLE vantor_git_log OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        if(vantor_git_log)
            get_filename_component(vantor_git_log ${vantor_git_log} ABSOLUTE BASE_DIR ${PROJECT_SOURCE_DIR})
            if(EXISTS ${vantor_git_log})
                set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${vantor_git_log})
            endif()
        endif()
    else()
        list(APPEND vantor_table_options --no-desktop)
    endif()
endif()
set(VANTOR_THIRD_PARTY_TABLE ${CMAKE_BINARY_DIR}/notices/ThirdPartyTable.cpp)
vantor_third_party(${vantor_qt_legal_option} table ${vantor_table_options} --out ${VANTOR_THIRD_PARTY_TABLE})
if(NOT WIN32)
    set(VANTOR_DEB_COPYRIGHT ${CMAKE_BINARY_DIR}/third-party/copyright)
    set(VANTOR_DEB_NOTICES ${CMAKE_BINARY_DIR}/third-party/THIRD-PARTY-NOTICES.txt)
    vantor_third_party(copyright --out ${VANTOR_DEB_COPYRIGHT})
    vantor_third_party(notices --artifact deb --out ${VANTOR_DEB_NOTICES})
endif()
add_subdirectory(${PROJECT_SOURCE_DIR}/src/notices ${CMAKE_BINARY_DIR}/src/notices)

# A program linked statically holds whatever the linker took, so after each Windows link its map (every
# archive and object file it took, TARGET.map beside the program) is checked against ARTIFACT's entries
# in the manifest: a library linked in without an entry, or one the manifest does not know to be
# Windows' own, fails the build itself, and no release step can forget the check.
function(vantor_check_linked_components target artifact)
    if(NOT WIN32)
        return()
    endif()
    set(map ${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
    target_link_options(${target} PRIVATE LINKER:-Map=${map})
    add_custom_command(TARGET ${target} POST_BUILD
                       COMMAND ${VANTOR_PYTHON} ${VANTOR_THIRD_PARTY_TOOL} check --artifact ${artifact}
                               --link-map ${map} --remove-on-failure $<TARGET_FILE:${target}>
                       VERBATIM)
endfunction()
