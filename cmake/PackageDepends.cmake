# Run by cpack once the files are staged: dpkg-shlibdeps works out what the program needs
# (Depends) and what only the sound player module adds (Recommends). Without the audio
# libraries Norvane still runs and the mascot tumbles in silence, so they are not required.
set(staged ${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/lib/norvane)
set(work ${CPACK_TOPLEVEL_DIRECTORY}/shlibdeps)
file(MAKE_DIRECTORY ${work}/debian)
file(TOUCH ${work}/debian/control)
execute_process(
    COMMAND dpkg-shlibdeps -O -dDepends ${staged}/norvane -dRecommends ${staged}/libnorvane_sound.so
    WORKING_DIRECTORY ${work}
    OUTPUT_VARIABLE found
    COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCH "shlibs:Depends=([^\n]*)" _ "${found}")
set(depends "${CMAKE_MATCH_1}")
string(REGEX MATCH "shlibs:Recommends=([^\n]*)" _ "${found}")
set(recommends "${CMAKE_MATCH_1}")
if(depends STREQUAL "" OR recommends STREQUAL "")
    message(FATAL_ERROR "dpkg-shlibdeps found no dependencies:\n${found}")
endif()
# The window's font; setcap for the capability the package gives; Qt's media back end.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${depends}, fonts-liberation2")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "${recommends}, gstreamer1.0-plugins-base, libcap2-bin")
