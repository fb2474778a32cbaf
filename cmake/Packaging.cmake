# The Debian package, made by CPack from the install rules (`make deb` runs it on
# the release tree). Library dependencies come from dpkg-shlibdeps; the rest are
# programs Tarvik starts or fonts it falls back to.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvik)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Tarvik developers")
set(CPACK_PACKAGE_CONTACT "${TARVIK_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "terminal client for saved SSH, Telnet, serial and local sessions")
set(CPACK_PACKAGE_DESCRIPTION
  "Tarvik keeps saved connection profiles, edits them in a configuration window
and opens each one in a tab of a terminal window. Sessions run the OpenSSH
client, Tarvik's own skiv connection program (Telnet, Rlogin, raw TCP, serial
lines and SSH with OPK keys) or a local login shell, on an xterm-compatible
terminal with 24-bit colour, mouse reporting, hyperlinks and sixel images.
.
The package also carries tarvik-headless and tarvik-replay, which run programs
on the terminal engine or replay captured output without a window, and
tarvik-key, which converts keys between the OPK and OpenSSH formats.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TARVIK_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TARVIK_HOMEPAGE_URL}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "openssh-client")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-color-emoji")
# The Chinese interface and CJK text in terminals need a font with those characters.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

if(TARVIK_HAS_APP)
  set(CPACK_DEBIAN_PACKAGE_PROVIDES "x-terminal-emulator")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
      ${PROJECT_BINARY_DIR}/packaging/debian/postinst ${PROJECT_BINARY_DIR}/packaging/debian/prerm)
endif()

include(CPack)
