# `cpack -G DEB` in the build folder (scripts/package) makes kestrel_<version>_<arch>.deb: the
# install of resources/install.cmake under /usr, with the shared-library dependencies found by
# dpkg-shlibdeps and a viewer for the help file recommended. Kestrel keeps its users' files in
# ~/.local/share/Kestrel when, as here, the program folder is not theirs to write.
set(CPACK_PACKAGE_NAME kestrel)
set(CPACK_PACKAGE_VENDOR "Kestrel maintainers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "TCP/IP data logger")
set(CPACK_PACKAGE_DESCRIPTION
    "Kestrel logs every byte that its sessions receive, unchanged, to a log file
per session. A session is a TCP client that reconnects when the connection
drops, or a server that accepts one or several clients. Working sets of
sessions are saved to .ksf files; kestrel-headless runs them without a
window, also as a systemd user service.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
# The install steps name files below $DESTDIR<prefix> (the link, the systemd unit).
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
# cpack packages what has been built (scripts/package builds first): the package test must not
# rebuild the tree under the other tests running beside it.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Kestrel maintainers <maintainers@kestrel.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xchm, xdg-utils")

# What Debian asks of every package: the copyright and a compressed changelog.
set(KESTREL_DOC_DIR share/doc/kestrel)
set(KESTREL_CHANGELOG ${CMAKE_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${KESTREL_CHANGELOG}
    COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/resources/package/changelog > ${KESTREL_CHANGELOG}
    DEPENDS ${CMAKE_SOURCE_DIR}/resources/package/changelog)
add_custom_target(kestrel_changelog ALL DEPENDS ${KESTREL_CHANGELOG})
install(FILES resources/package/copyright ${KESTREL_CHANGELOG} DESTINATION ${KESTREL_DOC_DIR})

include(CPack)
