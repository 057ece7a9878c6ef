# A Debian package of the installed tree: cpack -G DEB in the build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${KORIVAN_PACKAGE})
set(CPACK_PACKAGE_VENDOR "ORVEL PROJECT")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop annotation overlay")
set(CPACK_PACKAGE_DESCRIPTION
  "KORIVAN DSK lies transparent over the whole screen and above every window.
Switch drawing on and draw over whatever the desktop shows (pen, marker,
rainbow, arrows, pixel eraser, lasso move, undo and redo), then save the
annotated screen as JPEG, PNG, BMP, TGA or layered PSD. With drawing off, the
pointer passes through to the windows below.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(KORIVAN_DEB_MAINTAINER "ORVEL PROJECT <korivan-dsk@orvel.invalid>" CACHE STRING
    "The Maintainer field of the Debian package: name <address>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KORIVAN_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The libraries come from the binaries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The about box opens the help page through xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
include(CPack)
