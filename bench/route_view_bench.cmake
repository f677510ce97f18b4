# The route dock on a 100,000-row table: first draw, repaint after a single post, zoom steps,
# and zelt-cli plot against zelt-cli dump of the same table.
add_executable(route_view_bench ${CMAKE_CURRENT_LIST_DIR}/route_view_bench.cpp)
target_link_libraries(route_view_bench PRIVATE zelt_shell)
target_compile_definitions(route_view_bench PRIVATE ZELT_CLI="$<TARGET_FILE:zelt-cli>")
add_dependencies(route_view_bench zelt-cli)
# The figure file beside the program, as an installed program has it: the route has its figures.
add_custom_command(TARGET route_view_bench POST_BUILD
                   COMMAND ${CMAKE_COMMAND} -E copy_if_different ${PROJECT_SOURCE_DIR}/data/dani.dat
                           $<TARGET_FILE_DIR:route_view_bench>)
