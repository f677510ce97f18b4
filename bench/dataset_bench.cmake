# The traverse dataset on 100,000 rows: open, a pass posting every row, appends, inserts.
add_executable(dataset_bench ${CMAKE_CURRENT_LIST_DIR}/dataset_bench.cpp)
target_link_libraries(dataset_bench PRIVATE core_document)
