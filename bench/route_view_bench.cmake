# The route dock on a 100,000-row table: first draw, repaint after a single post, zoom steps,
# and zelt-cli plot against zelt-cli dump of the same table.
add_executable(route_view_bench ${CMAKE_CURRENT_LIST_DIR}/route_view_bench.cpp)
target_link_libraries(route_view_bench PRIVATE zelt_shell)
target_compile_definitions(route_view_bench PRIVATE ZELT_CLI="$<TARGET_FILE:zelt-cli>")
add_dependencies(route_view_bench zelt-cli)
