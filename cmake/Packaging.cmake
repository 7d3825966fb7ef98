# `cpack -G DEB` in the build folder makes vantorell_<version>_amd64.deb from everything
# `cmake --install` installs (every install component: the programs, the video helper, the
# picture-reader module, the window's desktop entry, icon and samples, the manual pages, and
# whatever libraries, headers or modules other install rules add). Its dependencies come from
# the shared libraries the installed files link (dpkg-shlibdeps).
set(CPACK_PACKAGE_NAME vantorell)
set(CPACK_PACKAGE_VENDOR Hedracor)
set(CPACK_PACKAGE_CONTACT "Vantorell <support@vantorell.app>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "blend, overlay or cross-fade two pictures")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Vantorell mixes two pictures: a blend with a soft seam, an overlay (their average), or a "
  "cross-fade or morph to AVI, MP4, WebM, animated WebP, APNG or animated GIF. It comes as a "
  "window (vantorell) and a command line (vantorell-mix, with batches of many pairs).")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The picture readers are a Qt module loaded on demand: Qt's image-format plugins come with it.
# The Python module's arrays are NumPy's; Align finds faces with opencv-data's cascades.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-image-formats-plugins, python3-numpy, opencv-data")
include(CPack)
