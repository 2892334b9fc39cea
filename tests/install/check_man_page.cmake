# cmake -DPAGE=<page> -P check_man_page.cmake
# Fails on any warning of groff (all warnings on) or, without groff, of mandoc's lint.

find_program(GROFF groff)
find_program(MANDOC mandoc)
if(GROFF)
  set(command ${GROFF} -ww -z -man ${PAGE})
elseif(MANDOC)
  set(command ${MANDOC} -T lint -W warning ${PAGE})
else()
  message("SKIPPED: neither groff nor mandoc is installed")
  return()
endif()

execute_process(COMMAND ${command} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT status EQUAL 0 OR NOT output STREQUAL "" OR NOT errors STREQUAL "")
  message(FATAL_ERROR "${command} reported (status ${status}):\n${output}${errors}")
endif()
message("${command}: no warnings")
