# orva_install_program(TARGET DESTINATION dir [COMPONENT c]): installs a program stripped
# with the toolchain's own strip, while the build tree keeps the symbols for debugging.
function(orva_install_program target)
  cmake_parse_arguments(ARG "" "DESTINATION;COMPONENT" "" ${ARGN})
  set(component)
  if(ARG_COMPONENT)
    set(component COMPONENT ${ARG_COMPONENT})
  endif()
  install(TARGETS ${target} RUNTIME DESTINATION ${ARG_DESTINATION} ${component})
  install(CODE "
    set(installed \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${ARG_DESTINATION}/$<TARGET_FILE_NAME:${target}>\")
    execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-all \"\${installed}\" RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR \"cannot strip \${installed}\")
    endif()" ${component})
endfunction()
