# Test registration: one executable per unit, QtTest, headless platform and data dirs set once.
set(ZELT_TEST_DATA_DIR "${PROJECT_SOURCE_DIR}/tests/data")
set(ZELT_SHARED_DIR "${PROJECT_SOURCE_DIR}/../shared" CACHE PATH "Folder with outside sample files (tests skip when absent)")

function(_zelt_test_common name)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support ${PROJECT_SOURCE_DIR}/src)
  target_compile_definitions(${name} PRIVATE
    TEST_DATA_DIR="${ZELT_TEST_DATA_DIR}"
    ZELT_SHARED_DIR="${ZELT_SHARED_DIR}"
    ZELT_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    ZELT_BINARY_DIR="${PROJECT_BINARY_DIR}")
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
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
