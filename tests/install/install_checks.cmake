# Steps shared by the install and package checks.

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    string(REPLACE ";" " " shown "${ARGN}")
    message(FATAL_ERROR "failed (${status}): ${shown}\n${output}")
  endif()
  set(output "${output}" PARENT_SCOPE)
endfunction()

# The consumer, built by CMake (no standard set, package from the prefix only) and by
# the plain compiler with pkg-config's flags, exactly as the README shows it; each runs.
function(build_consumers prefix work)
  set(build ${work}/consumer-build)
  run(${CMAKE_COMMAND} -S ${CONSUMER_SOURCE} -B ${build} -G ${GENERATOR}
      -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH=${prefix}
      -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF -DCMAKE_FIND_USE_SYSTEM_PACKAGE_REGISTRY=OFF)
  file(STRINGS ${build}/CMakeCache.txt packageDir REGEX "^pcmwrap_DIR:")
  if(NOT packageDir STREQUAL "pcmwrap_DIR:PATH=${prefix}/${LIBDIR}/cmake/pcmwrap")
    message(FATAL_ERROR "the consumer found the package elsewhere: ${packageDir}")
  endif()
  run(${CMAKE_COMMAND} --build ${build})
  set(programs ${build}/pcmwrap_consumer)
  foreach(kind plain static)
    set(flags "--cflags --libs")
    if(kind STREQUAL "static")
      set(flags "--static --cflags --libs")
    endif()
    run(env PKG_CONFIG_PATH=${prefix}/${LIBDIR}/pkgconfig sh -c
        "${CXX_COMPILER} ${CONSUMER_SOURCE}/main.cpp $(pkg-config ${flags} pcmwrap) -o ${work}/pkg-config-${kind}")
    list(APPEND programs ${work}/pkg-config-${kind})
  endforeach()
  foreach(program IN LISTS programs)
    # The simulated output device: a test machine has no sound card. The library path
    # stands for the system's, as for any prefix outside it.
    run(env PCMWRAP_AUDIO_DEVICE=simulated LD_LIBRARY_PATH=${prefix}/${LIBDIR} ${program} ${work}/round-trip.wav)
  endforeach()
  set(consumers "${programs}" PARENT_SCOPE)
endfunction()
