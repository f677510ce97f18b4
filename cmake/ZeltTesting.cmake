# Test registration: one executable per unit, QtTest, headless platform and data dirs set once.
set(ZELT_TEST_DATA_DIR "${PROJECT_SOURCE_DIR}/tests/data")
# The outside sample folder sits beside the checkout; a clone made one or two folders deeper (as a CI
# runner makes it) finds it in the nearest ancestor that has one.
set(_zelt_shared_default "${PROJECT_SOURCE_DIR}/../shared")
foreach(_up "../shared" "../../shared" "../../../shared")
  if(IS_DIRECTORY "${PROJECT_SOURCE_DIR}/${_up}")
    get_filename_component(_zelt_shared_default "${PROJECT_SOURCE_DIR}/${_up}" ABSOLUTE)
    break()
  endif()
endforeach()
set(ZELT_SHARED_DIR "${_zelt_shared_default}" CACHE PATH "Folder with outside sample files (tests skip when absent)")

function(_zelt_test_common name)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support ${PROJECT_SOURCE_DIR}/src)
  target_compile_definitions(${name} PRIVATE
    TEST_DATA_DIR="${ZELT_TEST_DATA_DIR}"
    ZELT_SHARED_DIR="${ZELT_SHARED_DIR}"
    ZELT_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    ZELT_BINARY_DIR="${PROJECT_BINARY_DIR}")
  add_test(NAME ${name} COMMAND ${name})
  # Labels by folder (core, cli, shell), so a run can pick the suites it needs.
  set(_label core)
  if(CMAKE_CURRENT_SOURCE_DIR MATCHES "/tests/(cli|shell)$")
    set(_label ${CMAKE_MATCH_1})
  endif()
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300 LABELS ${_label})
endfunction()

# add_core_test(name LIBS core_x ... [SOURCES extra.cpp ...])
function(add_core_test name)
  cmake_parse_arguments(T "" "" "LIBS;SOURCES" ${ARGN})
  add_executable(${name} ${name}.cpp ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} Qt6::Test)
  _zelt_test_common(${name})
endfunction()

# add_shell_test(name [LIBS ...] [SOURCES ...]): widget tests over the real shell.
function(add_shell_test name)
  cmake_parse_arguments(T "" "" "LIBS;SOURCES" ${ARGN})
  add_executable(${name} ${name}.cpp ${T_SOURCES})
  target_link_libraries(${name} PRIVATE zelt_shell ${T_LIBS} Qt6::Test)
  _zelt_test_common(${name})
endfunction()
