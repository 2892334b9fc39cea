# cmake -DBUILD_DIR=... -DWORK_DIR=... -DCONSUMER_SOURCE=... -DGENERATOR=... -DCXX_COMPILER=...
#       -DLIBDIR=... -P check_packages.cmake
# Makes the two Debian packages from the build, has lintian check them, checks what they
# hold, unpacks them into a scratch root and uses them from there: the program and its
# manual page, and the library through its CMake package and pkg-config file.

include(${CMAKE_CURRENT_LIST_DIR}/install_checks.cmake)

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
run(cpack -G DEB --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK_DIR})
file(GLOB program ${WORK_DIR}/pcmwrap_*.deb)
file(GLOB dev ${WORK_DIR}/libpcmwrap-dev_*.deb)
if(NOT program OR NOT dev)
  message(FATAL_ERROR "cpack made no pcmwrap or libpcmwrap-dev package")
endif()

run(lintian --fail-on error --tag-display-limit 0 ${program} ${dev})
message("lintian:\n${output}")

function(expect_contents package)
  run(dpkg-deb -c ${package})
  message("${package}:\n${output}")
  foreach(path IN LISTS ARGN)
    string(FIND "${output}" " ./usr/${path}\n" found)
    if(found EQUAL -1)
      message(FATAL_ERROR "${package} lacks /usr/${path}")
    endif()
  endforeach()
endfunction()
expect_contents(${program} bin/pcmwrap share/man/man1/pcmwrap.1.gz bin/pcmwrap-play share/man/man1/pcmwrap-play.1.gz
  bin/pcmwrap-probe share/man/man1/pcmwrap-probe.1.gz bin/pcmwrap-check share/man/man1/pcmwrap-check.1.gz
  share/doc/pcmwrap/copyright share/doc/pcmwrap/changelog.Debian.gz)
# The runtime libraries of the archival options are named in the program's Depends.
execute_process(COMMAND dpkg-deb -f ${program} Depends OUTPUT_VARIABLE depends)
foreach(library libssl3 libebur128-1 libcsv3)
  if(NOT depends MATCHES "${library}")
    message(FATAL_ERROR "the pcmwrap package does not depend on ${library}: ${depends}")
  endif()
endforeach()
# The libraries in the multiarch folder, lib/<triplet>.
if(NOT LIBDIR MATCHES "^lib/[a-z0-9_]+-linux-[a-z0-9_]+$")
  message(FATAL_ERROR "the libraries go to ${LIBDIR}, not to lib/<triplet>")
endif()
expect_contents(${dev} include/pcmwrap/wave/wave.h include/pcmwrap/playback/playback.h include/pcmwrap/audio/wave_out.h
  ${LIBDIR}/libpcmwrap_wave.a ${LIBDIR}/libpcmwrap_audio.a ${LIBDIR}/cmake/pcmwrap/pcmwrapConfig.cmake
  ${LIBDIR}/pkgconfig/pcmwrap.pc ${LIBDIR}/pkgconfig/pcmwrap-playback.pc
  share/doc/libpcmwrap-dev/copyright share/doc/libpcmwrap-dev/changelog.Debian.gz)

set(root ${WORK_DIR}/root)
run(dpkg-deb -x ${program} ${root})
run(dpkg-deb -x ${dev} ${root})
execute_process(COMMAND ${root}/usr/bin/pcmwrap RESULT_VARIABLE status OUTPUT_VARIABLE output)
if(NOT status EQUAL 0 OR NOT output MATCHES "^\npcmwrap ")
  message(FATAL_ERROR "the packaged pcmwrap without arguments: status ${status}, output [${output}]")
endif()
find_program(MAN man)
if(MAN)
  run(env MANPATH=${root}/usr/share/man MANWIDTH=80 ${MAN} pcmwrap)
  if(NOT output MATCHES "wrap raw PCM sample dumps in RIFF WAVE files")
    message(FATAL_ERROR "man pcmwrap from the package shows:\n${output}")
  endif()
endif()
build_consumers(${root}/usr ${WORK_DIR}/consumers)
message("both packages are lintian-clean and work from ${root}")
