# Steps shared by the install and package checks.

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    string(REPLACE ";" " " shown "${ARGN}")
    message(FATAL_ERROR "failed (${status}): ${shown}\n${output}")
  endif()
  set(output "${output}" PARENT_SCOPE)
endfunction()

# The consumers, built by CMake (no standard set, package from the prefix only) and by
# the plain compiler with pkg-config's flags, exactly as the README shows it; each runs.
# The wave layer's consumers are told nothing of ALSA and run without libasound.
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
  set(wavePrograms ${build}/pcmwrap_wave_consumer ${build}/pcmwrap_wavfile_consumer)
  set(playbackPrograms ${build}/pcmwrap_playback_consumer)
  set(pkgConfig env PKG_CONFIG_PATH=${prefix}/${LIBDIR}/pkgconfig pkg-config)
  foreach(kind plain static)
    set(flags --cflags --libs)
    if(kind STREQUAL "static")
      list(APPEND flags --static)
    endif()
    run(${pkgConfig} ${flags} pcmwrap)
    if(output MATCHES "asound")
      message(FATAL_ERROR "pkg-config ${flags} pcmwrap names ALSA: ${output}")
    endif()
    string(REPLACE ";" " " flags "${flags}")
    foreach(layer wave wavfile playback)
      set(package pcmwrap)
      if(layer STREQUAL "playback")
        set(package pcmwrap-playback)
      endif()
      set(program ${work}/pkg-config-${layer}-${kind})
      run(env PKG_CONFIG_PATH=${prefix}/${LIBDIR}/pkgconfig sh -c
          "${CXX_COMPILER} -std=c++20 ${CONSUMER_SOURCE}/${layer}_consumer.cpp $(pkg-config ${flags} ${package}) -o ${program}")
      if(layer STREQUAL "wavfile")
        list(APPEND wavePrograms ${program})
      else()
        list(APPEND ${layer}Programs ${program})
      endif()
    endforeach()
  endforeach()
  # pkg-config's flags name no language standard, so a newer one the user picks stays:
  # a C++23 program (std::expected) builds against the headers and runs.
  set(program ${work}/pkg-config-cxx23)
  run(env PKG_CONFIG_PATH=${prefix}/${LIBDIR}/pkgconfig sh -c
      "${CXX_COMPILER} -std=c++23 ${CONSUMER_SOURCE}/cxx23_consumer.cpp $(pkg-config --cflags --libs pcmwrap) -o ${program}")
  list(APPEND wavePrograms ${program})
  foreach(program IN LISTS wavePrograms)
    run(env LD_LIBRARY_PATH=${prefix}/${LIBDIR} ldd ${program})
    if(output MATCHES "libasound")
      message(FATAL_ERROR "${program} uses only the wave layer but loads libasound:\n${output}")
    endif()
    run(env LD_LIBRARY_PATH=${prefix}/${LIBDIR} ${program} ${work}/round-trip.wav)
  endforeach()
  foreach(program IN LISTS playbackPrograms)
    # The simulated output device: a test machine has no sound card. The library path
    # stands for the system's, as for any prefix outside it.
    run(env PCMWRAP_AUDIO_DEVICE=simulated LD_LIBRARY_PATH=${prefix}/${LIBDIR} ${program})
  endforeach()
  set(consumers "${wavePrograms}" PARENT_SCOPE)
endfunction()
