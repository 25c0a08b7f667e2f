# Runs one scene script with vorel-host in a fresh folder of its own.
# Passes when vorel-host exits 0 and, where <name>.expect lies beside the
# script, every non-blank line of it (outside '#' comment lines) appears in the
# output, in that order, each inside one output line.
# The scene gets its own host installation root, registry file and temp folder,
# so scenes never see each other's files or the user's settings; relative paths
# in the script start in that folder. VOREL_SOURCE_DIR and VOREL_BINARY_DIR are
# set for plug-ins and tools that need the build's programs.
cmake_policy(SET CMP0007 NEW)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/host ${WORK}/config ${WORK}/run ${WORK}/tmp)
set(ENV{VOREL_HOST_ROOT} ${WORK}/host)
set(ENV{XDG_CONFIG_HOME} ${WORK}/config)
set(ENV{XDG_RUNTIME_DIR} ${WORK}/run)
set(ENV{TMPDIR} ${WORK}/tmp)
set(ENV{VOREL_SOURCE_DIR} ${SOURCE_DIR})
set(ENV{VOREL_BINARY_DIR} ${BINARY_DIR})
execute_process(COMMAND ${HOST} ${SCRIPT}
  WORKING_DIRECTORY ${WORK}
  RESULT_VARIABLE _rc OUTPUT_VARIABLE _out ERROR_VARIABLE _err)
message("${_out}")
if(_err)
  message("${_err}")
endif()
if(NOT _rc EQUAL 0)
  message(FATAL_ERROR "vorel-host exited with ${_rc}")
endif()

string(REGEX REPLACE "\\.vhs$" ".expect" _expect ${SCRIPT})
if(EXISTS ${_expect})
  file(STRINGS ${_expect} _want)
  string(REPLACE ";" "\\;" _out "${_out}")
  string(REPLACE "\n" ";" _lines "${_out}")
  set(_at 0)
  list(LENGTH _lines _count)
  foreach(_w IN LISTS _want)
    string(STRIP "${_w}" _w)
    if(_w STREQUAL "" OR _w MATCHES "^#")
      continue()
    endif()
    set(_found FALSE)
    while(_at LESS _count)
      list(GET _lines ${_at} _l)
      math(EXPR _at "${_at} + 1")
      string(FIND "${_l}" "${_w}" _pos)
      if(NOT _pos EQUAL -1)
        set(_found TRUE)
        break()
      endif()
    endwhile()
    if(NOT _found)
      message(FATAL_ERROR "expected line not found (in order): ${_w}")
    endif()
  endforeach()
endif()
