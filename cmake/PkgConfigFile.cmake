# pcmwrap.pc (the wave layer) and pcmwrap-playback.pc (the playback ring and the wave
# output under it, which require ALSA) beside the CMake package. Static libraries carry
# no record of what they link, so with them --libs alone must name everything (threads,
# and the audio library's package); shared libraries already name their own dependencies.
file(RELATIVE_PATH PCMWRAP_PC_PREFIX_FROM_PCFILEDIR
  /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" PCMWRAP_PC_PREFIX_FROM_PCFILEDIR "${PCMWRAP_PC_PREFIX_FROM_PCFILEDIR}")

# One file: `name` for pkg-config, the libraries it links, the packages it needs
# whatever the build (`public`) and those that only static libraries need to name.
function(pcmwrap_pkg_config_file name description libraries public requires)
  set(PCMWRAP_PC_NAME ${name})
  set(PCMWRAP_PC_DESCRIPTION "${description}")
  set(PCMWRAP_PC_LIBRARIES "${libraries}")
  if(BUILD_SHARED_LIBS)
    set(PCMWRAP_PC_REQUIRES "${public}")
    set(PCMWRAP_PC_LIBS "")
    set(PCMWRAP_PC_REQUIRES_PRIVATE "${requires}")
    set(PCMWRAP_PC_LIBS_PRIVATE "-pthread")
  else()
    string(JOIN " " PCMWRAP_PC_REQUIRES ${public} ${requires})
    set(PCMWRAP_PC_LIBS "-pthread")
    set(PCMWRAP_PC_REQUIRES_PRIVATE "")
    set(PCMWRAP_PC_LIBS_PRIVATE "")
  endif()
  configure_file(${CMAKE_CURRENT_LIST_DIR}/pcmwrap.pc.in ${PROJECT_BINARY_DIR}/${name}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${name}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
endfunction()

pcmwrap_pkg_config_file(pcmwrap "RIFF WAVE file layer of pcmwrap" "-lpcmwrap_wavfile -lpcmwrap_wave -lpcmwrap_platform" "" "libcrypto")
pcmwrap_pkg_config_file(pcmwrap-playback "Playback ring and wave output of pcmwrap"
  "-lpcmwrap_playback -lpcmwrap_audio" "pcmwrap" "${PCMWRAP_PC_PLAYBACK_DEPENDENCY_PACKAGES}")
