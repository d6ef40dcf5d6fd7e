# The Debian packages: cpack -G DEB in the build folder makes
# velmora_<version>_amd64.deb (the install rules' component velmora),
# libvelmora1_<version>_amd64.deb (component library: the conversion library
# alone, with a shlibs file and the ldconfig trigger) and, with the Python
# module, python3-velmora_<version>_amd64.deb (component python), with the
# dependencies found from the binaries (dpkg-shlibdeps). The library and the
# module depend on no Qt package: only the program's package does.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "${VELMORA_AUTHORS}")
set(CPACK_PACKAGE_CONTACT "${VELMORA_CONTACT}")
# Each package's summary is the first line of its component's description.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL velmora library)
set(CPACK_DEBIAN_VELMORA_PACKAGE_NAME velmora)
set(CPACK_COMPONENT_VELMORA_DESCRIPTION "image enlarger with exact anti-aliasing
velmora enlarges a BMP or JPEG image 1.1 to 10.0 times in steps of 0.1. Every
output pixel is blended from up to four source pixels, first down each
column and then across, so the result is the same on every machine. The
program shows the result growing column by column and saves it as BMP,
JPEG or PNG; its user interface is Japanese.
.
The package also holds the batch tool velmora-enlarge, which does the same
enlargement from the command line, and the library libvelmora.so.1 (the
enlargement from memory into memory in five pixel layouts, and bitmap or
pixels in memory to JPEG, on every core) with its header, pkg-config file
and CMake package.")
set(CPACK_DEBIAN_VELMORA_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME libvelmora${PROJECT_VERSION_MAJOR})
set(CPACK_COMPONENT_LIBRARY_DESCRIPTION "exact anti-aliased image enlargement library
libvelmora enlarges pictures in memory 1.1 to 10.0 times with the exact
blend of velmora (five pixel layouts, on every core) and writes bitmaps or
pixels in memory as JPEG files. It needs no window system.")
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
# libc's ldconfig trigger updates the loader's cache for the library.
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_SOURCE_DIR}/triggers)
# The program loads the library (dlopen), which dpkg-shlibdeps cannot see.
# (zlib, the PNG writer's deflate, the format readers' libraries and the
# other libraries the programs link come in through dpkg-shlibdeps; the
# picture files need no Qt plugin.)
set(CPACK_DEBIAN_VELMORA_PACKAGE_DEPENDS "libvelmora${PROJECT_VERSION_MAJOR} (= ${PROJECT_VERSION})")
# The Japanese captions need a Japanese Gothic font; Qt's own dialog texts
# are Japanese only with Qt's translations.
set(CPACK_DEBIAN_VELMORA_PACKAGE_RECOMMENDS
    "fonts-ipafont-gothic | fonts-japanese-gothic, qt6-translations-l10n")
if(VELMORA_PYTHON)
  list(APPEND CPACK_COMPONENTS_ALL python)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-velmora)
  set(CPACK_COMPONENT_PYTHON_DESCRIPTION "exact anti-aliased image enlargement for Python
The module velmora enlarges numpy arrays (gray, RGB or RGBA, 8 bits a
channel) 1.1 to 10.0 times with the exact blend of velmora, on every core
and without holding the interpreter's lock, and enlarges a picture file
into a BMP, JPEG or PNG file as the batch tool velmora-enlarge does. An
example in the documentation runs such enlargements over a folder tree on
Dask.")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
  # The module is built for one Python only (its file name says which).
  string(REGEX MATCH "^([0-9]+)\\.([0-9]+)$" _python ${VELMORA_PYTHON_VERSION})
  math(EXPR _next_minor "${CMAKE_MATCH_2} + 1")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
      "libvelmora${PROJECT_VERSION_MAJOR} (= ${PROJECT_VERSION}), python3 (>= ${_python}~), python3 (<< ${CMAKE_MATCH_1}.${_next_minor}), python3-numpy")
  # The module's library is the one in the package libvelmora1, named above;
  # in the build tree it lies beside the programs, not among the system's.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
endif()
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Installed through DESTDIR, so that install-time code sees the real prefix
# (velmora.pc is written with it).
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX ${CPACK_PACKAGING_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VELMORA_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${PROJECT_HOMEPAGE_URL})
# zlib (the PNG writer's deflate) and the other libraries the programs link
# come in through these.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# CPack adds postinst and postrm scripts that call ldconfig beside the
# trigger; the trigger alone does the work, so they are taken out again.
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_SOURCE_DIR}/without-ldconfig-scripts.cmake)
install(FILES lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME ${PROJECT_NAME})
include(CPack)
