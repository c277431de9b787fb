# The Debian package, built with "cpack -G DEB" (or "cmake --build . --target
# package") in a Release build directory.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelvoran)
set(CPACK_PACKAGE_VENDOR Brindlecot)
set(CPACK_PACKAGE_CONTACT "Brindlecot <info@brindlecot.example>")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop network monitor that watches hosts with ping")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://brindlecot.example/")
# The summary becomes the first line of the package description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Kelvoran watches a list of hosts with ICMP echo requests, keeps running
statistics for each and moves every host between OK, WARNING and ERROR
with hysteresis. When a host goes down it shows the host's popup message.
The host list is KELVORAN.INI in the directory the program starts in.
.
The package grants the program the cap_net_raw file capability, so that it
probes without root where ping sockets are closed to the user.")

# The libraries the program links (wxWidgets, SQLite, the C++ runtime) come from
# dpkg-shlibdeps; GTK is loaded through wxWidgets and is named as well, since
# the window cannot open without it. setcap comes from libcap2-bin, which the
# maintainer script needs while it runs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The service's user comes from systemd-sysusers (package systemd) or adduser.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgtk-3-0, libcap2-bin, systemd | adduser")
# Web and mail links open through the desktop's default handler.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")

configure_file("${PROJECT_SOURCE_DIR}/data/deb/postinst.in"
               "${PROJECT_BINARY_DIR}/deb/postinst" @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${PROJECT_BINARY_DIR}/deb/postinst"
    "${PROJECT_SOURCE_DIR}/data/deb/prerm" "${PROJECT_SOURCE_DIR}/data/deb/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
