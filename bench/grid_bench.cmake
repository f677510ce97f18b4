# The document window on a 100,000-row table: opening it and scrolling through the grid.
add_executable(grid_bench ${CMAKE_CURRENT_LIST_DIR}/grid_bench.cpp)
target_link_libraries(grid_bench PRIVATE zelt_shell)
