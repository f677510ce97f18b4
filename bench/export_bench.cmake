# Map export: 1,500 labelled rows into a map of 50,000 objects, one export run against plain
# open-walk-append-close appends of the same objects.
add_executable(export_bench ${CMAKE_CURRENT_LIST_DIR}/export_bench.cpp)
target_link_libraries(export_bench PRIVATE core_export)
target_compile_definitions(export_bench PRIVATE ZELT_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
