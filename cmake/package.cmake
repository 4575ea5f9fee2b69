# Debian package of the install tree: `cpack -G DEB` in a release build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tactora)
set(CPACK_PACKAGE_VENDOR "Tactora")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${TACTORA_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "debugging tool for TUIO 1.x touch traffic")
# Lines of the long description stay under 80 characters, as Debian asks.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Tactora shows and fakes TUIO 1.x traffic: touch cursors and tagged objects"
  "carried as OSC messages over UDP, for people who build touch tables,"
  "trackers and TUIO applications."
  "."
  "Server mode listens on a UDP port, draws every live session on a touch-table"
  "canvas, lists the sessions in a tree and logs each datagram with byte"
  "counters. Client mode turns mouse gestures on the canvas into byte-exact"
  "TUIO datagrams for an application under test: a single cursor, tagged"
  "objects with class id and angle, or multi-touch with stationary anchors."
  "."
  "The interface is Chinese with a live English switch.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TACTORA_SITE}")
# Library dependencies come from dpkg-shlibdeps; Qt loads its platform plugin at run time,
# which no linker table shows, and the Chinese interface needs a CJK font.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk")

include(CPack)
