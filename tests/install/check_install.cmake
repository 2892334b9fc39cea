# cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -DCONSUMER_SOURCE=... -DGENERATOR=...
#       -DCXX_COMPILER=... -DLIBDIR=... -P check_install.cmake
# Installs the build into WORK_DIR/prefix and checks the installed program; then builds
# and runs the consumer against the installed package only, through CMake and through
# pkg-config; then does the same for a shared-library build of the same sources.

include(${CMAKE_CURRENT_LIST_DIR}/install_checks.cmake)

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

set(prefix ${WORK_DIR}/prefix)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(file bin/pcmwrap share/man/man1/pcmwrap.1.gz bin/pcmwrap-play share/man/man1/pcmwrap-play.1.gz
             bin/pcmwrap-probe share/man/man1/pcmwrap-probe.1.gz bin/pcmwrap-check share/man/man1/pcmwrap-check.1.gz
             include/pcmwrap/wave/wave.h include/pcmwrap/wave/wav_file.h include/pcmwrap/wavfile/wav_file.h
             include/pcmwrap/playback/playback.h include/pcmwrap/audio/wave_out.h
             ${LIBDIR}/cmake/pcmwrap/pcmwrapConfig.cmake ${LIBDIR}/pkgconfig/pcmwrap.pc
             ${LIBDIR}/pkgconfig/pcmwrap-playback.pc)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

# The installed program runs on its own: with no arguments it prints its usage and ends with 0.
execute_process(COMMAND ${prefix}/bin/pcmwrap RESULT_VARIABLE status OUTPUT_VARIABLE output)
set(usage "\npcmwrap [-r<rate>] [-b<bits per sample>] [-c<channels>] infile...\n")
if(NOT status EQUAL 0 OR NOT output STREQUAL usage)
  message(FATAL_ERROR "installed pcmwrap without arguments: status ${status}, output [${output}]")
endif()
build_consumers(${prefix} ${WORK_DIR}/static)

# The README's library example compiles and runs as written, with its pkg-config line.
file(READ ${SOURCE_DIR}/README.md readme)
string(REGEX MATCH "```cpp\n(#include <vector>[^`]*)```" example "${readme}")
if(NOT CMAKE_MATCH_1)
  message(FATAL_ERROR "README.md has no C++ example that starts with #include <vector>")
endif()
file(WRITE ${WORK_DIR}/readme/main.cpp "${CMAKE_MATCH_1}")
run(env PKG_CONFIG_PATH=${prefix}/${LIBDIR}/pkgconfig sh -c
    "cd ${WORK_DIR}/readme && ${CXX_COMPILER} -std=c++20 main.cpp $(pkg-config --cflags --libs pcmwrap) -o main && ./main")

# So does the WavReader/WavWriter example, against the installed <pcmwrap/wave/wav_file.h>.
string(REGEX MATCH "```cpp\n(#include <algorithm>\n#include <cmath>[^`]*)```" example "${readme}")
if(NOT CMAKE_MATCH_1)
  message(FATAL_ERROR "README.md has no WavReader/WavWriter example")
endif()
file(WRITE ${WORK_DIR}/readme-wav-file/main.cpp "${CMAKE_MATCH_1}")
run(env PKG_CONFIG_PATH=${prefix}/${LIBDIR}/pkgconfig sh -c
    "cd ${WORK_DIR}/readme-wav-file && ${CXX_COMPILER} -std=c++20 main.cpp $(pkg-config --cflags --libs pcmwrap) -o main && ./main")

# The same sources as shared libraries: versioned, and what the consumers run against.
set(sharedBuild ${WORK_DIR}/shared-build)
set(sharedPrefix ${WORK_DIR}/shared-prefix)
run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${sharedBuild} -G ${GENERATOR} -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON -DPCMWRAP_TESTS=OFF)
run(${CMAKE_COMMAND} --build ${sharedBuild})
run(${CMAKE_COMMAND} --install ${sharedBuild} --prefix ${sharedPrefix})
run(readelf -d ${sharedPrefix}/${LIBDIR}/libpcmwrap_wave.so)
if(NOT output MATCHES "Library soname: \\[libpcmwrap_wave\\.so\\.1\\]")
  message(FATAL_ERROR "libpcmwrap_wave.so has no soname libpcmwrap_wave.so.1:\n${output}")
endif()
build_consumers(${sharedPrefix} ${WORK_DIR}/shared)

function(expect_shared_library program)
  run(env ${ARGN} ldd ${program})
  # The WAVE file API's consumer reaches the layer's file I/O through libpcmwrap_wavfile.
  string(REGEX MATCH "libpcmwrap_wav(e|file)\\.so\\.1 => [^\n]*" found "${output}")
  string(FIND "${found}" "=> ${sharedPrefix}/${LIBDIR}/libpcmwrap_wav" direct)
  string(FIND "${found}" "=> ${sharedPrefix}/bin/../${LIBDIR}/libpcmwrap_wav" beside)
  if(direct EQUAL -1 AND beside EQUAL -1)
    message(FATAL_ERROR "${program} does not run against the installed shared library:\n${output}")
  endif()
endfunction()
foreach(program IN LISTS consumers)
  expect_shared_library(${program} LD_LIBRARY_PATH=${sharedPrefix}/${LIBDIR})
endforeach()
# The installed program finds the libraries beside it by itself.
expect_shared_library(${sharedPrefix}/bin/pcmwrap)
# So do the CMake consumers: each library finds the ones it needs beside it, also those
# the consumer does not name itself (the playback ring's wave output and file I/O).
foreach(program pcmwrap_playback_consumer pcmwrap_wavfile_consumer)
  run(env -u LD_LIBRARY_PATH ldd ${WORK_DIR}/shared/consumer-build/${program})
  if(output MATCHES "not found")
    message(FATAL_ERROR "${program} needs LD_LIBRARY_PATH to find the prefix's libraries:\n${output}")
  endif()
  run(env -u LD_LIBRARY_PATH PCMWRAP_AUDIO_DEVICE=simulated ${WORK_DIR}/shared/consumer-build/${program}
      ${WORK_DIR}/shared/no-library-path.wav)
endforeach()
message("installed static and shared builds; every consumer built and ran")
