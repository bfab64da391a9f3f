# What `cmake --install` puts where. Each program declares itself once, beside its
# add_executable:
#     quillon_install_program(quillon-cli)                # a command-line program: bin/
#     quillon_install_program(quillon DESKTOP)             # a windowed one: bin/, its desktop
#                                                        # entry and its icon in every size
# A windowed program's entry is resources/desktop/<program>.desktop; its icons are drawn by
# resources/IconFiles.cpp. The model test files go to the data folder (resources/).
include(GNUInstallDirs)

set(QUILLON_ICON_SIZES 16 32 48 64 128 256)
set(QUILLON_ICON_DIR ${CMAKE_BINARY_DIR}/icons)

function(quillon_install_program target)
    cmake_parse_arguments(PARSE_ARGV 1 arg "DESKTOP" "" "")
    install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    set_property(GLOBAL APPEND PROPERTY QUILLON_PROGRAMS ${target})
    if(arg_DESKTOP)
        install(FILES ${PROJECT_SOURCE_DIR}/resources/desktop/${target}.desktop
                DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
        foreach(size ${QUILLON_ICON_SIZES})
            install(FILES ${QUILLON_ICON_DIR}/${size}x${size}/apps/${target}.png
                    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
        endforeach()
        add_dependencies(${target} quillon_icon_pngs)
        set_property(GLOBAL APPEND PROPERTY QUILLON_WINDOWED_PROGRAMS ${target})
    endif()
endfunction()

# A test that installs into a temporary prefix and checks what arrived, added once every
# program has declared itself (at the end of the top directory).
function(quillon_add_install_test)
    get_property(programs GLOBAL PROPERTY QUILLON_PROGRAMS)
    get_property(windowed GLOBAL PROPERTY QUILLON_WINDOWED_PROGRAMS)
    if(NOT programs)
        return()
    endif()
    string(REPLACE ";" " " programs "${programs}")
    string(REPLACE ";" " " windowed "${windowed}")
    string(REPLACE ";" " " sizes "${QUILLON_ICON_SIZES}")
    add_test(NAME install_layout
             COMMAND ${PROJECT_SOURCE_DIR}/tests/install_test.sh ${CMAKE_BINARY_DIR}
                     "${programs}" "${windowed}" "${sizes}")
    set_tests_properties(install_layout PROPERTIES LABELS install TIMEOUT 300)
endfunction()
