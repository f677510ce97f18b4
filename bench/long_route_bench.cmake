# Map export of a 5,000-leg route: line objects continued past 2,000 points, new and existing map.
add_executable(long_route_bench ${CMAKE_CURRENT_LIST_DIR}/long_route_bench.cpp)
target_link_libraries(long_route_bench PRIVATE core_export)
target_compile_definitions(long_route_bench PRIVATE ZELT_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
