# SPDX-License-Identifier: GPL-3.0-or-later
# cradlecom_library(NAME DIR [LIBS ...]): a static library of every .cpp in DIR.
function(cradlecom_library name dir)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  add_library(${name} STATIC ${sources})
  target_link_libraries(${name} PUBLIC cc_warnings ${ARG_LIBS})
endfunction()

# cradlecom_test(NAME SOURCES ... LIBS ... [LABELS ...]): a GoogleTest binary run by CTest.
function(cradlecom_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE cc_warnings ${ARG_LIBS} GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  if(ARG_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
  endif()
endfunction()

# Adds every subdirectory of DIR that has a CMakeLists.txt.
function(cradlecom_add_subdirectories dir)
  file(GLOB children LIST_DIRECTORIES true ${dir}/*)
  foreach(child ${children})
    if(IS_DIRECTORY ${child} AND EXISTS ${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
