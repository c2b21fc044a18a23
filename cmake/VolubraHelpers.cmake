# Helpers shared by the rooms' CMakeLists.

# Every include is written from the root ("qrvapi/qrv_abi.h"): the libraries
# at the bottom of each room link this, and everything above them inherits it.
add_library(volubra_root INTERFACE)
target_include_directories(volubra_root INTERFACE ${CMAKE_SOURCE_DIR})

# GoogleTest is built from Debian's source package, for the native and the
# cross build alike.
macro(volubra_find_googletest)
  set(VOLUBRA_GTEST_SRC /usr/src/googletest CACHE PATH "GoogleTest sources")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(${VOLUBRA_GTEST_SRC} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  volubra_unoptimised_test_code(gtest)
  volubra_unoptimised_test_code(gtest_main)
endmacro()

# Test code runs for its checks, not for speed: it is compiled without optimisation in
# every build, which cuts its compile time by about a third in the optimised ones. The
# code it tests keeps its build's optimisation.
function(volubra_unoptimised_test_code target)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE -O0)
  endif()
endfunction()

# volubra_add_test(NAME name SOURCES a.cpp ... LIBS lib ... [TIMEOUT s])
# One GoogleTest executable; every case in it is a CTest test of its own (Suite.Case,
# label "case", so `ctest -R` picks one; a parameterised case is named by its
# instance, not its value), each a process of its own with TIMEOUT seconds. The cases
# are listed when CTest runs (PRE_TEST): under the cross build that needs Wine, which
# runs the programs through CMAKE_CROSSCOMPILING_EMULATOR.
#
# Under Wine a process costs more to start than most cases take, so the cross build
# also registers the whole executable as one test, named after it (label
# "executable"). The test presets leave those out; scripts/test.sh runs them instead
# of the cases, each executable once.
include(GoogleTest)
set(VOLUBRA_DISCOVERY_TIMEOUT 30)
if(CMAKE_CROSSCOMPILING)
  set(VOLUBRA_DISCOVERY_TIMEOUT 300)
endif()
# A whole executable's bound: the longest of them runs for a few minutes under Wine.
set(VOLUBRA_EXECUTABLE_TIMEOUT 900)

function(volubra_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} gtest gtest_main)
  volubra_unoptimised_test_code(${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  gtest_discover_tests(${T_NAME}
    EXTRA_ARGS --gtest_brief=1
    DISCOVERY_MODE PRE_TEST
    NO_PRETTY_VALUES
    DISCOVERY_TIMEOUT ${VOLUBRA_DISCOVERY_TIMEOUT}
    PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS case)
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_brief=1)
    set_tests_properties(${T_NAME} PROPERTIES
      TIMEOUT ${VOLUBRA_EXECUTABLE_TIMEOUT} LABELS executable)
  endif()
endfunction()

# stb's image headers (Debian's libstb-dev), header-only: devhost writes its screenshots
# with stb_image_write, and its test reads them back with stb_image. They are copied
# into the build tree so that the cross compilers see them without the build machine's
# /usr/include.
set(VOLUBRA_STB_DIR /usr/include/stb CACHE PATH "stb's headers (libstb-dev)")
add_library(stb_headers INTERFACE)
foreach(header stb_image_write.h stb_image.h)
  configure_file(${VOLUBRA_STB_DIR}/${header} ${CMAKE_BINARY_DIR}/stb/stb/${header} COPYONLY)
endforeach()
target_include_directories(stb_headers SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/stb)

# CLI11 (Debian's libcli11-dev), header-only: devhost's command line. Copied into the
# build tree for the same reason as stb's headers.
set(VOLUBRA_CLI11_DIR /usr/include/CLI CACHE PATH "CLI11's headers (libcli11-dev)")
add_library(cli11_headers INTERFACE)
file(GLOB VOLUBRA_CLI11_HEADERS ${VOLUBRA_CLI11_DIR}/*.hpp)
if(NOT VOLUBRA_CLI11_HEADERS)
  message(FATAL_ERROR "CLI11's headers are not in ${VOLUBRA_CLI11_DIR}: install libcli11-dev")
endif()
file(COPY ${VOLUBRA_CLI11_HEADERS} DESTINATION ${CMAKE_BINARY_DIR}/cli11/CLI)
target_include_directories(cli11_headers SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/cli11)
