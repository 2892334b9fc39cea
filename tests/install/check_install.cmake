# cmake -DBUILD_DIR=... -DWORK_DIR=... -DCONSUMER_SOURCE=... -DGENERATOR=... -DCXX_COMPILER=... -DLIBDIR=...
#       -P check_install.cmake
# Installs the build into WORK_DIR/prefix, checks the installed program and manual page,
# then configures, builds and runs the consumer project against the installed package only.

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    string(REPLACE ";" " " shown "${ARGN}")
    message(FATAL_ERROR "failed (${status}): ${shown}\n${output}")
  endif()
endfunction()

set(prefix ${WORK_DIR}/prefix)
set(consumerBuild ${WORK_DIR}/consumer-build)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

foreach(file bin/pcmwrap share/man/man1/pcmwrap.1 include/pcmwrap/wave/wave.h
             include/pcmwrap/playback/playback.h ${LIBDIR}/cmake/pcmwrap/pcmwrapConfig.cmake)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

# The installed program runs on its own: with no arguments it prints its usage and ends with 0.
execute_process(COMMAND ${prefix}/bin/pcmwrap RESULT_VARIABLE status OUTPUT_VARIABLE output)
set(usage "\npcmwrap [-r<rate>] [-b<bits per sample>] [-c<channels>] infile\n")
if(NOT status EQUAL 0 OR NOT output STREQUAL usage)
  message(FATAL_ERROR "installed pcmwrap without arguments: status ${status}, output [${output}]")
endif()

# Only the fresh prefix may provide the package: no registry, no system copy.
run(${CMAKE_COMMAND} -S ${CONSUMER_SOURCE} -B ${consumerBuild} -G ${GENERATOR}
    -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_PREFIX_PATH=${prefix}
    -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF -DCMAKE_FIND_USE_SYSTEM_PACKAGE_REGISTRY=OFF)
file(STRINGS ${consumerBuild}/CMakeCache.txt packageDir REGEX "^pcmwrap_DIR:")
if(NOT packageDir STREQUAL "pcmwrap_DIR:PATH=${prefix}/${LIBDIR}/cmake/pcmwrap")
  message(FATAL_ERROR "the consumer found the package elsewhere: ${packageDir}")
endif()
run(${CMAKE_COMMAND} --build ${consumerBuild})
# The consumer plays on the simulated device: the machine need not have a sound card.
run(${CMAKE_COMMAND} -E env PCMWRAP_AUDIO_DEVICE=simulated ${consumerBuild}/pcmwrap_consumer ${WORK_DIR}/round-trip.wav)
message("installed into ${prefix}; the consumer built and ran")
