# Test registration shared by the native and the cross build.
#
# Under the cross build every test program runs under Wine (CMAKE_CROSSCOMPILING_EMULATOR)
# in one throwaway prefix per test run: creating a prefix costs seconds and a gigabyte,
# so the fixture makes it once and removes it at the end.
if(ORVA_WINDOWS)
  set(ORVA_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
  add_test(NAME wine_prefix_up
           COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-prefix.sh up ${ORVA_WINEPREFIX})
  set_tests_properties(wine_prefix_up PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 300)
  add_test(NAME wine_prefix_down
           COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-prefix.sh down ${ORVA_WINEPREFIX})
  set_tests_properties(wine_prefix_down PROPERTIES FIXTURES_CLEANUP wine_prefix)
  # scripts/wine-env.sh chooses the loader and the registry view from the programs' bitness.
  set_tests_properties(wine_prefix_up wine_prefix_down PROPERTIES ENVIRONMENT "ORVA_WINE_BITS=${ORVA_WINDOWS_BITS}")
endif()

# Marks a registered test as one that needs the Wine prefix.
function(orva_needs_wine test_name)
  if(ORVA_WINDOWS)
    set_property(TEST ${test_name} APPEND PROPERTY FIXTURES_REQUIRED wine_prefix)
    set_property(TEST ${test_name} APPEND PROPERTY ENVIRONMENT "WINEPREFIX=${ORVA_WINEPREFIX}")
    set_property(TEST ${test_name} APPEND PROPERTY ENVIRONMENT "ORVA_WINE_BITS=${ORVA_WINDOWS_BITS}")
    set_property(TEST ${test_name} PROPERTY TIMEOUT 600)
  endif()
endfunction()

# orva_add_gtest(NAME name SOURCES ... LIBS ...): a GoogleTest program run as one CTest test.
function(orva_add_gtest)
  cmake_parse_arguments(ARG "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBS} gtest_main)
  add_test(NAME ${ARG_NAME} COMMAND ${ARG_NAME})
  orva_needs_wine(${ARG_NAME})
endfunction()

# orva_add_script_test(NAME name COMMAND ...): an end-to-end script run under the Wine prefix.
function(orva_add_script_test)
  cmake_parse_arguments(ARG "" "NAME" "COMMAND" ${ARGN})
  add_test(NAME ${ARG_NAME} COMMAND ${ARG_COMMAND})
  orva_needs_wine(${ARG_NAME})
endfunction()

# Puts the stand-in driver library beside a program, where Windows looks for it first.
function(orva_beside_standin_driver target)
  if(ORVA_WINDOWS)
    add_dependencies(${target} orvapubif_standin)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:orvapubif_standin> $<TARGET_FILE_DIR:${target}>)
  endif()
endfunction()
