# `cpack -G DEB` in the build tree (or the `package` target) builds tidewhelk_<version>_<arch>.deb
# from the install rules. dpkg-shlibdeps (dpkg-dev) derives Depends from the libraries the
# executable links, so the list follows the code.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tidewhelk)
set(CPACK_PACKAGE_VENDOR "The TideWhelk developers")
set(CPACK_PACKAGE_CONTACT "The TideWhelk developers <maintainers@tidewhelk.invalid>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://tidewhelk.github.io/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Usenet binary grabber")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "TideWhelk talks NNTP to one news server, scans newsgroups, gathers multipart\n"
  "binaries from their part counters, queues them in a batch, downloads every part\n"
  "and decodes the result (yEnc, uuencode, xxencode, Base64, BinHex) into the\n"
  "download folder.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
