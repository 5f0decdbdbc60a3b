# Helpers shared by the CMake files of the project.

# GoogleTest: the system package natively; for the Windows tree it is built from the
# sources Debian ships in /usr/src/googletest (or MSYS2's package on Windows).
macro(cw_find_gtest)
  find_package(GTest QUIET)
  if(NOT GTest_FOUND AND EXISTS /usr/src/googletest/CMakeLists.txt)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    if(NOT TARGET GTest::gtest)
      add_library(GTest::gtest ALIAS gtest)
      add_library(GTest::gtest_main ALIAS gtest_main)
    endif()
  endif()
endmacro()

# A layer library built from every .cpp of its folder; platform backends are picked
# by folder, never by #ifdef inside a function.
function(cw_layer name)
  cmake_parse_arguments(ARG "" "" "DEPS;EXTRA_DIRS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${name}/*.cpp)
  foreach(dir ${ARG_EXTRA_DIRS})
    file(GLOB more CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp)
    list(APPEND srcs ${more})
  endforeach()
  if(srcs)
    add_library(cw_${name} STATIC ${srcs})
    target_include_directories(cw_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(cw_${name} PUBLIC ${ARG_DEPS})
  else()
    # A layer that has only headers so far.
    add_library(cw_${name} INTERFACE)
    target_include_directories(cw_${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(cw_${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# One test program per folder of tests/. Natively every test case is its own CTest
# test; under Wine a process start costs seconds, so there the whole program is one.
# NATIVE_ONLY_CASES: GoogleTest patterns of cases that test portable logic over many or
# large files; they run natively, where they take seconds, and are left out under Wine,
# where every file operation costs a round trip to the wine server.
function(cw_test_program name)
  cmake_parse_arguments(ARG "WIN32_TOO;NATIVE_ONLY" "" "DEPS;SOURCES;NATIVE_ONLY_CASES" ${ARGN})
  if(CMAKE_CROSSCOMPILING AND ARG_NATIVE_ONLY)
    return()
  endif()
  if(CMAKE_CROSSCOMPILING AND NOT ARG_WIN32_TOO)
    return()
  endif()
  # Every test program stops at a failed CW_CHECK (tests/support/strict_checks.cpp).
  add_executable(${name} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/strict_checks.cpp)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} cw_test_support GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE CW_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  if(CMAKE_CROSSCOMPILING)
    set(filter "")
    if(ARG_NATIVE_ONLY_CASES)
      list(JOIN ARG_NATIVE_ONLY_CASES ":" cases)
      set(filter "--gtest_filter=-${cases}")
    endif()
    add_test(NAME ${name} COMMAND ${name} ${filter})
    set_tests_properties(${name} PROPERTIES TIMEOUT 900)
  else()
    include(GoogleTest)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)
  endif()
endfunction()
