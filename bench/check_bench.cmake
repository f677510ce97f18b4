# zelt-cli check on a 10,000-row traverse with 20 known points, and the check alone as a view runs it.
add_executable(check_bench ${CMAKE_CURRENT_LIST_DIR}/check_bench.cpp)
target_link_libraries(check_bench PRIVATE core_compute)
# The walk simulator of the tests: the same physics for the long statistical runs (--stats N).
target_include_directories(check_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
target_compile_definitions(check_bench PRIVATE ZELT_CLI="$<TARGET_FILE:zelt-cli>")
add_dependencies(check_bench zelt-cli)
