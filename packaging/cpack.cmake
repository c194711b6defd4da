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
# A cross build is packed for the machine it was built for, not the one dpkg runs on
# (`make package-arm64` also tells dpkg-shlibdeps, through DEB_HOST_ARCH, to read that
# machine's libraries).
if(CMAKE_CROSSCOMPILING)
  execute_process(
    COMMAND dpkg-architecture -t${CMAKE_LIBRARY_ARCHITECTURE} -qDEB_HOST_ARCH
    OUTPUT_VARIABLE CPACK_DEBIAN_PACKAGE_ARCHITECTURE OUTPUT_STRIP_TRAILING_WHITESPACE
    ERROR_QUIET COMMAND_ERROR_IS_FATAL ANY)
endif()
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

# The same bytes from every run of one commit: see source_date.cmake. CPack already
# sorts the members and makes root their owner; the folders' modes are fixed by the
# install rules (CMakeLists.txt) rather than left to the packer's umask.
find_program(VIEWER_GIT git)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_SOURCE_DIR}/source_date.cmake)
set(CPACK_VIEWER_GIT ${VIEWER_GIT})
set(CPACK_VIEWER_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_VIEWER_RELEASE_EPOCH ${VIEWER_RELEASE_EPOCH})

include(CPack)
