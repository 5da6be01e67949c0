# `make package`: a Debian package of what `cmake --install` lays out under /usr. Its
# dependencies come from dpkg-shlibdeps (cmake/PackageDepends.cmake, run by cpack); once
# installed, it gives the echo helper cap_net_raw so that Ping works for every user.
if(NOT NORVANE_INSTALL)
    return()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME norvane)
set(CPACK_PACKAGE_VENDOR "Byre Lane Software")
set(CPACK_PACKAGE_CONTACT "Byre Lane Software <norvane@byrelane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "look up, ping and whois hosts in one small window")
set(CPACK_PACKAGE_INSTALL_DIRECTORY norvane)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.byrelane.example")
# The first line of the package description is the summary above.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Norvane is a small network utility for the desktop: one window with a tab
for each tool. It shows this computer's host name and IPv4 address, turns
host names into addresses and back, sends ICMP echo requests, and asks whois
servers about domain names.")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_SOURCE_DIR}/dist/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/PackageDepends.cmake)

include(CPack)
