# Helpers shared by every folder's CMakeLists.txt.
# Sources are picked up by glob so that folders can grow without touching this file.

# Automoc does not run again when the glob brings a new header into a target it has already
# processed (its step depends only on the headers it saw last time), which leaves the new class
# without its meta-object code. When a target's source list changes, its automoc stamp is removed
# so that the next build runs automoc again.
function(cvb_autogen_follows_sources name srcs)
  set(list_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_sources.txt)
  set(old "")
  if(EXISTS ${list_file})
    file(READ ${list_file} old)
  endif()
  if(NOT old STREQUAL "${srcs}")
    file(WRITE ${list_file} "${srcs}")
    file(REMOVE ${CMAKE_CURRENT_BINARY_DIR}/${name}_autogen/timestamp)
  endif()
endfunction()

# cvb_add_library(<target> DEPS <targets...>): a static library from the *.cpp/*.h/*.ui of the
# current folder (main.cpp excluded). Headers are included as "folder/Name.h".
function(cvb_add_library name)
  cmake_parse_arguments(A "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
       ${CMAKE_CURRENT_SOURCE_DIR}/*.ui)
  list(FILTER srcs EXCLUDE REGEX "/main\\.cpp$")
  set(cpp ${srcs})
  list(FILTER cpp INCLUDE REGEX "\\.cpp$")
  if(cpp)
    add_library(${name} STATIC ${srcs})
    cvb_autogen_follows_sources(${name} "${srcs}")
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${A_DEPS})
    target_compile_options(${name} PRIVATE ${CVB_WARNINGS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${A_DEPS})
  endif()
endfunction()

# cvb_add_windows(<target> DEPS <targets...>): a window family under ui/, built as cvb_add_library
# builds a library; the application links every family (the CVB_WINDOW_LIBRARIES property).
function(cvb_add_windows name)
  cvb_add_library(${name} ${ARGN})
  set_property(GLOBAL APPEND PROPERTY CVB_WINDOW_LIBRARIES ${name})
endfunction()

# cvb_add_test(<target> DEPS <targets...>): one GoogleTest program from the *.cpp of the
# current folder; every test case becomes a ctest test, run headless.
function(cvb_add_test name)
  cmake_parse_arguments(A "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  set(cpp ${srcs})
  list(FILTER cpp INCLUDE REGEX "\\.cpp$")
  if(NOT cpp)
    return()
  endif()
  add_executable(${name} ${srcs})
  cvb_autogen_follows_sources(${name} "${srcs}")
  target_link_libraries(${name} PRIVATE ${A_DEPS} cvb_test_support GTest::gtest GTest::gmock Qt6::Test)
  target_compile_options(${name} PRIVATE ${CVB_WARNINGS})
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 900
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;CVB_PACING=0;CVB_TEST_PYTHON=/usr/bin/python3;CVB_BUILD_DIR=${PROJECT_BINARY_DIR}")
endfunction()

# Adds every direct subfolder of <dir> that has a CMakeLists.txt.
function(cvb_add_subdirectories dir)
  file(GLOB children LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*)
  foreach(child ${children})
    if(IS_DIRECTORY ${child} AND EXISTS ${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
