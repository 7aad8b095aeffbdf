# The Debian package: cpack -G DEB in the build folder makes
# korvastel_<version>_<arch>.deb from the install rules, with the library
# dependencies that dpkg-shlibdeps finds in the binary.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "korvastel")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "Korvastel maintainers <support@korvastel.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "SITE command tool for FTP server administrators")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Korvastel opens one FTP control connection, logs in, and sends the SITE\n\
commands of the server with one click: eighteen fixed ones, commands built\n\
from your own templates in commandList.ini, and raw command lines. Every\n\
command and reply is shown in a coloured transcript.")
set(CPACK_DEBIAN_PACKAGE_SECTION "net")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://korvastel.example/")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The transcript's monospace face where "Lucida Console" is missing.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
include(CPack)

# What Debian asks of every package: the copyright file (machine-readable,
# format 1.0) and the changelog, compressed reproducibly (no name or time
# stamp), where a native package keeps them. tests/package_test.sh runs
# lintian over the result.
include(GNUInstallDirs)
set(_docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/korvastel)
set(_changelog_gz ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${_changelog_gz}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging
  COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/packaging/changelog > ${_changelog_gz}
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog VERBATIM)
add_custom_target(korvastel-changelog ALL DEPENDS ${_changelog_gz})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${_changelog_gz} DESTINATION ${_docdir})
