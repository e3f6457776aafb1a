# Install rules of the programs and the Debian package (cpack -G DEB in a Release build folder;
# scripts/package.sh does both). Dependencies are computed from the binaries (dpkg-shlibdeps);
# the platform plugins that draw the windows are a plugin, not a linked library, so named here.
include(GNUInstallDirs)
install(TARGETS corvale-backup cvb-dbf cvb-ftp cvb-encode RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvale-backup)
set(CPACK_PACKAGE_VENDOR Corvale)
set(CPACK_PACKAGE_CONTACT "Corvale Backup developers <backup@corvale.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "back up a web site from its FTP server on a schedule")
set(CPACK_PACKAGE_DESCRIPTION
    "Corvale Backup copies the files and folders of a web site from its FTP\n"
    "server to a folder on the local disk, on a schedule and on demand. Backup\n"
    "profiles name the remote sources, the local target, how old copies are kept,\n"
    "the schedule and an optional report mail. While the program runs, visible or\n"
    "in the system tray, it runs every profile that is due and logs every step.\n"
    "\n"
    "It comes with a profile wizard with a browser of the remote server, connection\n"
    "settings with a test, a live two-pane FTP session, a schedule overview and an\n"
    "event log that prints or saves as PDF, plus the command-line tools cvb-dbf,\n"
    "cvb-ftp and cvb-encode.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.corvale.example/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "network-manager")
include(CPack)
