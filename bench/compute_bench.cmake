# Height passes over a 100,000-row table, every row posted to the file.
add_executable(compute_bench ${CMAKE_CURRENT_LIST_DIR}/compute_bench.cpp)
target_link_libraries(compute_bench PRIVATE core_compute)
