# Packages, built with cpack in a configured tree (scripts/package.sh builds them all):
# a Debian package from a Linux build, a zip from each Windows build. What goes in is what
# cmake --install puts in place (cmake/install_rules.cmake).
set(CPACK_PACKAGE_NAME rqshell)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "rqshell developers")
set(CPACK_PACKAGE_CONTACT "${RQ_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "console shell and tools for a USB device behind a device proxy")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  else()
    set(CPACK_SYSTEM_NAME win32)
  endif()
  set(CPACK_PACKAGE_FILE_NAME rqshell-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_RELEASE ${RQ_DEBIAN_REVISION})
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${RQ_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # Depends: the shared libraries the programs link (dpkg-shlibdeps), and what no library
  # shows: rqmount mounts through fusermount3.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(RQ_DEB_MOUNT "")
  if(TARGET rqmount)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS fuse3)
    set(RQ_DEB_MOUNT "
rqmount mounts the device's file system through FUSE, so that file managers,
cp, rsync and editors work on device files.
")
  endif()
  # The extended description: CPack puts the summary above it as the synopsis, indents the
  # lines and marks the empty ones.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "rqshell is an operator's console for a small USB-attached device. It never
touches USB itself: it speaks the device's framed protocol over one TCP
connection to a device proxy. Commands list, copy, move and remove device
files, transfer files and boot images, start programs and run the device's
diagnostics, typed at a prompt or read from scripts.

rqtool runs one device command per call, with exit statuses, time-outs and
JSON output, for scripts, CI and production lines.
${RQ_DEB_MOUNT}
rqsim, a proxy and device simulator, lets the tools be tried without a
device. Example scripts and a Wireshark dissector for the protocol are in
/usr/share/rqshell.")
endif()

include(CPack)
