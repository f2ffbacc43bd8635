# Read by cpack before it builds a package: refuses a Debian package that would
# install under another prefix than /usr (the service unit names the daemon by
# its full path, so the prefix is fixed at configure time), or one that would
# ship a sanitizer build.
if(CPACK_GENERATOR STREQUAL "DEB")
  if(NOT CPACK_PACKAGING_INSTALL_PREFIX STREQUAL "/usr")
    message(FATAL_ERROR "The Debian package installs under /usr: configure the build with "
                        "-DCMAKE_INSTALL_PREFIX=/usr (it has ${CPACK_PACKAGING_INSTALL_PREFIX}).")
  endif()
  if(CPACK_TRV_SANITIZE)
    message(FATAL_ERROR "The Debian package must not ship a sanitizer build: configure a "
                        "separate build with -DTRV_SANITIZE=OFF.")
  endif()
endif()
