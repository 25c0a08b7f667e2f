# Shared build helpers. Every folder globs its own sources so that adding a
# file never means editing a list that other folders also touch.

# vorel_library(<target> <STATIC|SHARED> <dir> [LINK libs...])
# Builds the .cpp files of <dir> (not its tests/) into <target>; a folder with
# no sources yet becomes an INTERFACE library so dependents still link.
function(vorel_library target kind dir)
  cmake_parse_arguments(ARG "" "" "LINK" ${ARGN})
  file(GLOB _src CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(_src)
    add_library(${target} ${kind} ${_src})
    target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR})
    if(ARG_LINK)
      target_link_libraries(${target} PUBLIC ${ARG_LINK})
    endif()
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${CMAKE_SOURCE_DIR})
    if(ARG_LINK)
      target_link_libraries(${target} INTERFACE ${ARG_LINK})
    endif()
  endif()
endfunction()

# vorel_tests(<name> <dir> LINK libs...)
# One GoogleTest executable per tests folder; each test case becomes a CTest
# test so that ctest -j spreads them over the cores.
function(vorel_tests name dir)
  if(NOT VOREL_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "LINK;ENVIRONMENT" ${ARGN})
  file(GLOB _src CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT _src)
    return()
  endif()
  add_executable(${name} ${_src})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${dir})
  target_link_libraries(${name} PRIVATE ${ARG_LINK} GTest::gtest GTest::gtest_main Threads::Threads)
  target_compile_definitions(${name} PRIVATE
    VOREL_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    VOREL_BINARY_DIR="${CMAKE_BINARY_DIR}"
    VOREL_PLUGIN_DIR="${VOREL_PLUGIN_DIR}")
  if(ARG_ENVIRONMENT)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
      PROPERTIES TIMEOUT 300 ENVIRONMENT "${ARG_ENVIRONMENT}")
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
      PROPERTIES TIMEOUT 300)
  endif()
endfunction()

# vorel_plugin(<target> <dir> LINK libs...)
# A plug-in: a shared library with the host entry points, placed in the
# plug-in folder that vorel-host loads.
function(vorel_plugin target dir)
  cmake_parse_arguments(ARG "" "" "LINK" ${ARGN})
  file(GLOB _src CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT _src)
    return()
  endif()
  add_library(${target} SHARED ${_src})
  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${target} PUBLIC ${ARG_LINK})
  set_target_properties(${target} PROPERTIES
    PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${VOREL_PLUGIN_DIR})
endfunction()

# vorel_fixed_float_mode(<target>)
# The solver's frames and the mesher's surfaces are pinned bit for bit: no
# multiply and add may be fused into one rounding (gcc fuses across
# statements by default, clang within them, each only where it sees an FMA
# instruction), so every compiler and target rounds them alike. PUBLIC: the
# inline arithmetic of the headers is compiled into their users too.
function(vorel_fixed_float_mode target)
  target_compile_options(${target} PUBLIC $<$<COMPILE_LANGUAGE:C,CXX>:-ffp-contract=off>)
endfunction()
