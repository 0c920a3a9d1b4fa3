# The Debian package: what `cmake --install` puts under a prefix, packed with prefix /usr by
# CPack's DEB generator (tools/package.sh runs it). Without the Qt parts nothing is installed.
if(NOT QP_BUILD_GUI)
  return()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillpost)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quillpost developers <support@quillpost.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop reader for newsletter channels published as RSS feeds")
# Lines of the long description stay below 80 characters, as Debian's tools show them.
set(CPACK_PACKAGE_DESCRIPTION [[
Quillpost subscribes to newsletter channels published as RSS 2.0 feeds,
checks them for new items and keeps every new item as a message in a local
inbox, where it can be browsed, read, marked and exported. It lives in the
notification area and tells after each check how many new messages each
source brought.

Sources can be checked without any window (quillpost --check, for cron or a
systemd timer) and moved to and from other feed readers as OPML.]])

# Installed with the real prefix into a staging folder (DESTDIR), so that the paths written while
# installing (the launcher's command, the manual page) name /usr and not the staging folder.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://quillpost.example/")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The libraries the program and its web view module link are found by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# No linker sees Qt's SVG plugins: every icon of the program, the tray icon included, is SVG.
set(CPACK_DEBIAN_PACKAGE_DEPENDS libqt6svg6)

include(CPack)
