# The Debian package: cpack -G DEB in the build folder makes
# velmora_<version>_amd64.deb from the install rules, with the dependencies
# found from the binaries (dpkg-shlibdeps), a shlibs file and the ldconfig
# trigger for the library.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "${VELMORA_AUTHORS}")
set(CPACK_PACKAGE_CONTACT "${VELMORA_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "image enlarger with exact anti-aliasing")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "velmora enlarges a BMP or JPEG image 1.1 to 10.0 times in steps of 0.1. Every\n"
    "output pixel is blended from up to four source pixels, first down each\n"
    "column and then across, so the result is the same on every machine. The\n"
    "program shows the result growing column by column and saves it as BMP,\n"
    "JPEG or PNG; its user interface is Japanese.\n"
    "\n"
    "The package also holds the batch tool velmora-enlarge, which does the same\n"
    "enlargement from the command line, and the conversion library\n"
    "libvelmora.so.1 (bitmap or pixels in memory to JPEG, on every core) with its\n"
    "header, pkg-config file and CMake package.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Installed through DESTDIR, so that install-time code sees the real prefix
# (velmora.pc is written with it).
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX ${CPACK_PACKAGING_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VELMORA_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${PROJECT_HOMEPAGE_URL})
# zlib (the PNG writer's deflate) and the other libraries the programs link
# come in through these.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# libc's ldconfig trigger updates the loader's cache for the library. (CPack
# also writes postinst and postrm scripts that run ldconfig themselves;
# lintian warns about those, harmlessly.)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_SOURCE_DIR}/triggers)
install(FILES lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME ${PROJECT_NAME})
# The Japanese captions need a Japanese Gothic font; Qt's own dialog texts
# are Japanese only with Qt's translations; the batch tool reads TIFF and WebP
# through Qt's image format plugins.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "fonts-ipafont-gothic | fonts-japanese-gothic, qt6-translations-l10n, qt6-image-formats-plugins")
include(CPack)
