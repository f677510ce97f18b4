# SPDX-License-Identifier: GPL-3.0-or-later
# Copies data files beside the programs, so that a program run from the build tree finds them.

# zelt_copy_beside_programs(<target> FILES <file>... [DEPENDS <target>...])
# Adds the custom target <target>, part of ALL, that copies FILES beside zelt and zelt-cli; each
# program depends on it, and it depends on the DEPENDS targets (those that make the files).
# The programs are defined after the core folders, so the target is added once the whole
# project has been read.
function(zelt_copy_beside_programs target)
  cmake_parse_arguments(PARSE_ARGV 1 _arg "" "" "FILES;DEPENDS")
  # A deferred call reads its arguments only when it runs: write the values in now.
  cmake_language(EVAL CODE
    "cmake_language(DEFER DIRECTORY [[${PROJECT_SOURCE_DIR}]] CALL _zelt_copy_beside_programs
       [[${target}]] [[${_arg_FILES}]] [[${_arg_DEPENDS}]])")
endfunction()

function(_zelt_copy_beside_programs target files depends)
  set(_programs)
  set(_commands)
  foreach(_program zelt zelt-cli)
    if(TARGET ${_program})
      get_target_property(_dir ${_program} RUNTIME_OUTPUT_DIRECTORY)
      if(NOT _dir)
        get_target_property(_dir ${_program} BINARY_DIR)
      endif()
      list(APPEND _programs ${_program})
      list(APPEND _commands COMMAND ${CMAKE_COMMAND} -E copy_if_different ${files} ${_dir})
    endif()
  endforeach()
  if(NOT _programs)
    return()
  endif()
  add_custom_target(${target} ALL ${_commands} DEPENDS ${files} VERBATIM)
  if(depends)
    add_dependencies(${target} ${depends})
  endif()
  foreach(_program IN LISTS _programs)
    add_dependencies(${_program} ${target})
  endforeach()
endfunction()
