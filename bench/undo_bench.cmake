# Undo and Redo of a height pass over a 100,000-row table in a document window: time and memory.
add_executable(undo_bench ${CMAKE_CURRENT_LIST_DIR}/undo_bench.cpp)
target_link_libraries(undo_bench PRIVATE zelt_shell)
