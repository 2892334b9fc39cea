# `cpack -G DEB` in the build folder makes two packages under /usr:
#   pcmwrap         the program and its manual page
#   libpcmwrap-dev  headers, static libraries (in the multiarch folder lib/<triplet>), the
#                   CMake package and the pkg-config files
# Every installed path is relative to the prefix (the CMake package and pcmwrap.pc find
# it from their own place), so the same build serves `cmake --install` and the packages.

set(PCMWRAP_DEBIAN_DIR ${PROJECT_SOURCE_DIR}/packaging/debian)
set(PCMWRAP_MAINTAINER "pcmwrap developers <developers@pcmwrap.org>")

# Each package carries the copyright file and the compressed changelog in its own
# /usr/share/doc folder; a plain `cmake --install` leaves them out.
function(pcmwrap_debian_docs component package)
  set(changelog ${PROJECT_BINARY_DIR}/debian/${package}/changelog.Debian.gz)
  add_custom_command(OUTPUT ${changelog}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/debian/${package}
    COMMAND ${GZIP_PROGRAM} -9 -n -c ${PCMWRAP_DEBIAN_DIR}/changelog > ${changelog}
    DEPENDS ${PCMWRAP_DEBIAN_DIR}/changelog)
  add_custom_target(debian_changelog_${component} ALL DEPENDS ${changelog})
  install(FILES ${changelog} ${PCMWRAP_DEBIAN_DIR}/copyright
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component} EXCLUDE_FROM_ALL)
endfunction()
pcmwrap_debian_docs(program pcmwrap)
pcmwrap_debian_docs(dev libpcmwrap-dev)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pcmwrap)
set(CPACK_PACKAGE_VENDOR "pcmwrap developers")
set(CPACK_PACKAGE_CONTACT "${PCMWRAP_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL program dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PCMWRAP_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME pcmwrap)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_SHLIBDEPS ON)
# Named as well as found by dpkg-shlibdeps: the archival options hash with libcrypto,
# measure loudness with libebur128 and read --metadata files with libcsv.
set(CPACK_DEBIAN_PROGRAM_PACKAGE_DEPENDS "libssl3, libebur128-1, libcsv3")
set(CPACK_DEBIAN_PROGRAM_DESCRIPTION "wraps raw PCM sample dumps in RIFF WAVE files
pcmwrap turns raw sample dumps (bare PCM bytes, most significant byte
first, 16 or 24 bits per sample, channels interleaved) into RIFF WAVE
files, every sample byte-reversed into fmt, fact and data chunks,
exactly and in constant memory.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libpcmwrap-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_SUGGESTS "${PCMWRAP_DEBIAN_DEV_SUGGESTS}")
# The WAVE file library hashes "MD5 " chunks with libcrypto: its static library needs it.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libssl-dev")
set(CPACK_DEBIAN_DEV_DESCRIPTION "RIFF WAVE file layer and playback ring of pcmwrap
The wave layer of pcmwrap as a C++20 static library: plain functions
that create, fill and finish RIFF WAVE files, read them, copy side
chunks, and load and save whole files, plus a small playback ring on
the audio output. This package holds the headers, the static
libraries, a CMake package and the pkg-config files pcmwrap and
pcmwrap-playback. Only the playback ring needs libasound2-dev.")

include(CPack)
