# The Debian package: `cpack -G DEB` in a configured tree (or
# scripts/package-deb.sh) writes zarn-loader_<version>_<arch>.deb with what
# the install rules place: the window, zarn-upload, zarn-stb-sim, the desktop
# entry and the icons.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zarn-loader)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "ZARN Team")
set(CPACK_PACKAGE_CONTACT "ZARN Team <team@zarn-loader.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Uploads firmware images into a set-top box over a serial line")
set(CPACK_PACKAGE_DESCRIPTION
  "ZARN Multi-Loader sends ZARN images (command-word protocol, CRC-32) and DSP\n\
files (YMODEM-style blocks, CRC-16) to a set-top box at 115200 bits per second.\n\
The package holds the window (zarn-loader), the same uploads without a window\n\
(zarn-upload) and a simulated set-top box on a pseudo-terminal (zarn-stb-sim).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

# zarn-loader_1.20_amd64.deb: no Debian revision, the machine's architecture.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://zarn-loader.example.org/")
# The shared libraries (Qt 6, the C++ runtime) come from dpkg-shlibdeps. What
# the binaries do not link but the window needs: Qt's platform plugins (the
# X11 and Wayland windows) and the free faces that stand in for the window's
# fonts (Liberation first, DejaVu where the skin asks for Tahoma).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-liberation, fonts-dejavu-core")

include(CPack)
