# What `cmake --install` lays out. The program reads its sprite, its sound and the sound player
# module beside its own real path, so all four live together in lib/norvane/, and bin/norvane
# is a relative link to the program there. The desktop entry, icons, AppStream data and manual
# page go where desktops and man look for them, under the one application id.
option(NORVANE_INSTALL "Install the program and its desktop files" ${PROJECT_IS_TOP_LEVEL})
if(NOT NORVANE_INSTALL)
    return()
endif()

include(GNUInstallDirs)
find_program(NORVANE_GZIP gzip REQUIRED)
set(NORVANE_PRIVATE_DIR lib/norvane)
set(NORVANE_DIST ${CMAKE_CURRENT_SOURCE_DIR}/dist)
set(NORVANE_STAGE ${CMAKE_CURRENT_BINARY_DIR}/install)

# The icons, drawn by the data file generator; the manual page and the changelog, compressed
# as Debian keeps them.
set(NORVANE_ICONS ${NORVANE_STAGE}/hicolor/scalable/apps/${NORVANE_APP_ID}.svg)
foreach(size 16 22 24 32 48 64 128 256)
    list(APPEND NORVANE_ICONS ${NORVANE_STAGE}/hicolor/${size}x${size}/apps/${NORVANE_APP_ID}.png)
endforeach()
add_custom_command(
    OUTPUT ${NORVANE_ICONS}
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
            $<TARGET_FILE:norvane_generate_data_files> --icons ${NORVANE_STAGE} ${NORVANE_APP_ID}
    DEPENDS norvane_generate_data_files
    COMMENT "Drawing the program's icons"
    VERBATIM)
set(NORVANE_GZIPPED)
foreach(file norvane.1 changelog)
    add_custom_command(
        OUTPUT ${NORVANE_STAGE}/${file}.gz
        COMMAND ${NORVANE_GZIP} -9 -n -c ${NORVANE_DIST}/${file} > ${NORVANE_STAGE}/${file}.gz
        DEPENDS ${NORVANE_DIST}/${file}
        VERBATIM)
    list(APPEND NORVANE_GZIPPED ${NORVANE_STAGE}/${file}.gz)
endforeach()
add_custom_target(norvane_install_files ALL
    DEPENDS ${NORVANE_ICONS} ${NORVANE_GZIPPED})

# bin/norvane -> ../lib/norvane/norvane, worked out for whatever the bin folder is called.
file(RELATIVE_PATH NORVANE_LINK_TARGET /prefix/${CMAKE_INSTALL_BINDIR}
     /prefix/${NORVANE_PRIVATE_DIR}/norvane)
file(MAKE_DIRECTORY ${NORVANE_STAGE}/bin)
file(CREATE_LINK ${NORVANE_LINK_TARGET} ${NORVANE_STAGE}/bin/norvane SYMBOLIC)

# What the package holds, and all that `make package` builds.
add_custom_target(norvane_installed)
add_dependencies(norvane_installed norvane norvane_echo norvane_sound norvane_install_files)

install(TARGETS norvane norvane_echo norvane_sound
        RUNTIME DESTINATION ${NORVANE_PRIVATE_DIR}
        LIBRARY DESTINATION ${NORVANE_PRIVATE_DIR})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/cbm.dll ${CMAKE_CURRENT_BINARY_DIR}/mw.dll
        DESTINATION ${NORVANE_PRIVATE_DIR})
install(FILES ${NORVANE_STAGE}/bin/norvane DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${NORVANE_DIST}/${NORVANE_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(DIRECTORY ${NORVANE_STAGE}/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
install(FILES ${NORVANE_DIST}/${NORVANE_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${NORVANE_STAGE}/norvane.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${NORVANE_DIST}/copyright ${NORVANE_STAGE}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
