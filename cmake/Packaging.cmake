# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package: "cpack -G DEB --config <build>/CPackConfig.cmake" after the program is built.
# It holds the program, its desktop entry and icon, the language files and the copyright file; the
# installed program keeps its settings in $XDG_CONFIG_HOME/plumo (~/.config/plumo).
#
# Installing (and so packaging) takes what the build made instead of building every target first:
# a tree configured with the tests would otherwise build all of them for a package that holds none.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

install(FILES ${PROJECT_SOURCE_DIR}/data/plumo.desktop DESTINATION share/applications)
install(FILES ${PROJECT_SOURCE_DIR}/debian/copyright DESTINATION share/doc/plumo)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME plumo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Plumo developers")
set(CPACK_PACKAGE_CONTACT "The Plumo developers <plumo@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Serverless LAN chat")
set(CPACK_PACKAGE_DESCRIPTION
    "Every copy of the program is an equal peer on the local network (UDP port 8177): channels, private and mass messages, bells, topics and states, without a server.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://localhost/plumo")
include(CPack)
