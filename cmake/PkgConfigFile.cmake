# pcmwrap.pc beside the CMake package. Static libraries carry no record of what they
# link, so with them --libs alone must name everything (threads, and the audio
# library's package); shared libraries already name their own dependencies.
file(RELATIVE_PATH PCMWRAP_PC_PREFIX_FROM_PCFILEDIR
  /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" PCMWRAP_PC_PREFIX_FROM_PCFILEDIR "${PCMWRAP_PC_PREFIX_FROM_PCFILEDIR}")
set(requires "${PCMWRAP_PC_DEPENDENCY_PACKAGES}")
set(libs "-pthread")
if(BUILD_SHARED_LIBS)
  set(PCMWRAP_PC_REQUIRES "")
  set(PCMWRAP_PC_LIBS "")
  set(PCMWRAP_PC_REQUIRES_PRIVATE "${requires}")
  set(PCMWRAP_PC_LIBS_PRIVATE "${libs}")
else()
  set(PCMWRAP_PC_REQUIRES "${requires}")
  set(PCMWRAP_PC_LIBS "${libs}")
  set(PCMWRAP_PC_REQUIRES_PRIVATE "")
  set(PCMWRAP_PC_LIBS_PRIVATE "")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/pcmwrap.pc.in ${PROJECT_BINARY_DIR}/pcmwrap.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/pcmwrap.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
