# zelt-cli check on a 10,000-row traverse with 20 known points, and the check alone as a view runs it.
add_executable(check_bench ${CMAKE_CURRENT_LIST_DIR}/check_bench.cpp)
target_link_libraries(check_bench PRIVATE core_compute)
target_compile_definitions(check_bench PRIVATE ZELT_CLI="$<TARGET_FILE:zelt-cli>")
add_dependencies(check_bench zelt-cli)
