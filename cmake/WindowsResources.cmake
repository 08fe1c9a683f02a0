# Windows resources for a program: the program's and the compiled-code file type's icons (the
# installer points the file type at the second), its version, and a manifest when one is given.
#   vantor_windows_resources(TARGET DESCRIPTION "text" [MANIFEST file])
function(vantor_windows_resources target)
    cmake_parse_arguments(R "" "DESCRIPTION;MANIFEST" "" ${ARGN})
    set(VANTOR_RC_NAME ${target})
    set(VANTOR_RC_FILE ${target}.exe)
    set(VANTOR_RC_DESCRIPTION "${R_DESCRIPTION}")
    set(VANTOR_RC_ICON_DIR ${PROJECT_SOURCE_DIR}/data/icons)
    set(VANTOR_RC_MANIFEST "")
    if(R_MANIFEST)
        # 1 and 24: the manifest a process starts with (CREATEPROCESS_MANIFEST_RESOURCE_ID, RT_MANIFEST).
        set(VANTOR_RC_MANIFEST "1 24 \"${R_MANIFEST}\"")
    endif()
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/resources.rc.in ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
endfunction()
