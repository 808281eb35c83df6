# Packages: `cpack -G DEB` or `cpack -G RPM` in a release build folder (each
# cross build's folder gives its architecture's packages). The source
# tarball is packaging/release's, made by git archive.
#
# Every time stamp in them is FOUROFSIX_SOURCE_DATE_EPOCH (CMakeLists.txt),
# so two builds of the same sources give byte-identical packages.

# A cross build names its packages for the target, not for the build
# machine that CPack would otherwise ask. Its dependency is read off the
# program by cmake/libc-depends.cmake when cpack runs, since dpkg-shlibdeps
# would need the target's C library installed on the build machine.
set(FOUROFSIX_CROSS_DEPENDS OFF)
if(CMAKE_CROSSCOMPILING)
  # Both names come from the row of cmake/architectures.txt.
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${FOUROFSIX_CROSS})
  set(CPACK_RPM_PACKAGE_ARCHITECTURE ${FOUROFSIX_RPM_ARCH})
  set(FOUROFSIX_CROSS_DEPENDS ON)
endif()
configure_file(cmake/cpack-options.cmake.in cpack-options.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_BINARY_DIR}/cpack-options.cmake)

# CPack installs the one component by name into its staging tree, so the
# list of what it installed goes to install_manifest_fourofsix.txt, which
# cmake/cpack-staging.cmake removes: install_manifest.txt stays the list of
# what `cmake --install` put on this machine, and a root-owned one from a
# `sudo cmake --install` cannot make cpack fail.
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};fourofsix;fourofsix;/")
set(CPACK_PACKAGE_NAME fourofsix)
set(CPACK_PACKAGE_VENDOR "fourofsix developers")
set(CPACK_PACKAGE_CONTACT "fourofsix developers <maintainers@users.noreply.c-seed-6ea25367.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keep the first four bytes of every six")
set(CPACK_PACKAGE_DESCRIPTION
    "fourofsix is a byte filter: it copies standard input to standard output,\n"
    "keeping the first four bytes of every six and dropping the fifth and sixth.\n"
    "It streams in constant memory, treats every byte value as data, takes\n"
    "message sockets a whole message at a time, and reports read and write\n"
    "failures with one line and a non-zero status.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
# Debian ships man pages and changelogs compressed; gzip them in the staging tree.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_SOURCE_DIR}/cmake/cpack-staging.cmake)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
if(NOT FOUROFSIX_CROSS_DEPENDS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON) # dependencies computed by dpkg-shlibdeps
endif()

set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
set(CPACK_RPM_PACKAGE_LICENSE MIT)
set(CPACK_RPM_PACKAGE_GROUP "Applications/Text")
set(CPACK_RPM_PACKAGE_SUMMARY "${CPACK_PACKAGE_DESCRIPTION_SUMMARY}")
set(CPACK_RPM_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
# rpmbuild stamps the build time and host into the header; these take both
# from SOURCE_DATE_EPOCH instead (the staged files carry that time already).
# Its own post-install pass would strip the program a second time, with the
# build machine's strip even in a cross build, and give it a new file time:
# CPack has stripped it with the right one. Build-id links would add files
# under /usr/lib/.build-id that the Debian packages do not have. The man page
# folders belong to the system's own filesystem package.
set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION /usr/share/man /usr/share/man/man1)
set(CPACK_RPM_SPEC_MORE_DEFINE
    "%define __os_install_post %{nil}
%define _buildhost reproducible
%define use_source_date_epoch_as_buildtime 1
%define clamp_mtime_to_source_date_epoch 1
%define _build_id_links none")

include(CPack)
