# The Debian package: `cpack -G DEB` in a build folder makes lumora_<version>_<arch>.deb
# of everything the install() rules place (the programs, manual pages,
# completion, desktop entry, icons, metainfo, systemd user units), under /usr.
set(CPACK_PACKAGE_NAME lumora)
set(CPACK_PACKAGE_VENDOR "The Lumora developers")
set(CPACK_PACKAGE_CONTACT "The Lumora developers <developers@lumora.example>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://lumora.example/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "download whole photo albums of a community member in one batch")
set(CPACK_PACKAGE_DESCRIPTION
  "Paste a member's album-space address, get the member's albums as a table,
pick some, and Lumora downloads every picture into one folder per album, many
at once, named by your rules. It can fix extensions by the pictures' real type,
stamp file times in album order, skip what an earlier download fetched, retry
the pictures that failed, or write a list for an external download manager.
.
The package holds the desktop program (lumora), the command-line program
(lumora-cli) and lumora-sample-site, a made-up member of the community served
on 127.0.0.1 for trying the program offline.")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The build keeps its debug information; the package does not need it.
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends comes from the libraries the programs link (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# xdg-open opens a download folder; the window's Chinese texts want a CJK font,
# and Qt's own dialogs speak Chinese with Qt's translations.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, fonts-wqy-microhei | fonts-noto-cjk, qt6-translations-l10n")

# A source tarball (cpack --config CPackSourceConfig.cmake) leaves out
# build folders and version control.
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/\\\\.git$" "/build/" "/build-[^/]*/" "/out/" "/tmp/")

include(CPack)
