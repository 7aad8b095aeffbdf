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
