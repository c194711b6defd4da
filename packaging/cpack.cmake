# The Debian package (`make package`, or cpack in the build tree): one .deb holding
# everything install() puts under /usr, with Depends worked out by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_VERBATIM_VARIABLES ON)  # the description quotes the title
set(CPACK_PACKAGE_NAME ${VIEWER_PACKAGE})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Our Direct3D Program authors")
set(CPACK_PACKAGE_CONTACT ${VIEWER_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VIEWER_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# SDL draws the window's title bar through libdecor where a Wayland compositor draws
# none (weston, GNOME); libdecor only recommends the plugin that does the drawing.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libdecor-0-plugin-1-cairo")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "spinning colour cube and axes drawn by a software Direct3D 9 device
A window titled \"Our Direct3D Program\" shows three white axes and a cube
with a colour at each corner, turning together by one degree per frame.
The arrow keys and Page Up / Page Down move the camera; F1 to F7 switch
culling, shading and depth buffering while the scene runs.

The program is written against Win32, Direct3D 9 and D3DX 9 names and
brings its own implementations of them: a window layer over SDL2 and a
software Direct3D 9 device, so no GPU is needed. A snapshot tool draws the
same frames without a display and writes them as PNG files.")

include(CPack)
