# orva_install_program(TARGET DESTINATION dir [COMPONENT c]): installs a program stripped
# with the toolchain's own strip, while the build tree keeps the symbols for debugging.
# The programs installed this way are the shipped ones: their component is `dist`
# unless told otherwise, so that `cmake --install --component dist` gives exactly what
# an installation carries without building the stand-ins.
function(orva_install_program target)
  cmake_parse_arguments(ARG "" "DESTINATION;COMPONENT" "" ${ARGN})
  if(NOT ARG_COMPONENT)
    set(ARG_COMPONENT dist)
  endif()
  set(component COMPONENT ${ARG_COMPONENT})
  install(TARGETS ${target} RUNTIME DESTINATION ${ARG_DESTINATION} ${component})
  install(CODE "
    set(installed \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${ARG_DESTINATION}/$<TARGET_FILE_NAME:${target}>\")
    execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-all \"\${installed}\" RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR \"cannot strip \${installed}\")
    endif()" ${component})
endfunction()
