# The Debian package: `cpack -G DEB` in the build folder makes korvel_<version>_<arch>.deb.

foreach(script prerm postrm)
    configure_file(${CMAKE_CURRENT_LIST_DIR}/${script}.in ${CMAKE_CURRENT_BINARY_DIR}/package/${script} @ONLY
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endforeach()
# The administrator's settings survive upgrades and go only with a purge.
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/package/conffiles "${KORVEL_CONFIG_DIR}/korvel.conf\n")

set(doc ${KORVEL_SHARE_DIR}/doc/korvel)
add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/package/changelog.gz
    COMMAND gzip -9 -n -c ${CMAKE_CURRENT_LIST_DIR}/changelog > ${CMAKE_CURRENT_BINARY_DIR}/package/changelog.gz
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/changelog)
add_custom_target(korvel-package-changelog ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/package/changelog.gz)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${CMAKE_CURRENT_BINARY_DIR}/package/changelog.gz
    DESTINATION ${doc})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/lintian-overrides DESTINATION ${KORVEL_SHARE_DIR}/lintian/overrides
    RENAME korvel)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvel)
set(CPACK_PACKAGE_VENDOR "Korvel")
set(CPACK_PACKAGE_CONTACT "Korvel developers <developers@korvel.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "VPN client for the Korvel service")
set(CPACK_PACKAGE_DESCRIPTION "Korvel switches a WireGuard tunnel to a Korvel server location on and off.
Sign in with a Korvel account, pick a server location or leave the choice to
the service, and connect with one button. The package holds the desktop
application, its command line (korvel status, korvel connect, ...) and the
small privileged tunnel service, started on demand through its socket.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://korvel.example/")
# Libraries the programs link come from dpkg-shlibdeps; these are loaded or run at run time.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libsecret-1-0, fonts-material-design-icons-iconfont, fonts-noto-color-emoji, wireguard-tools, nftables, openresolv | resolvconf | systemd-resolved, iproute2, polkitd, pkexec")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "wireguard-go")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_LIST_DIR}/postinst ${CMAKE_CURRENT_BINARY_DIR}/package/prerm ${CMAKE_CURRENT_BINARY_DIR}/package/postrm
    ${CMAKE_CURRENT_BINARY_DIR}/package/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
