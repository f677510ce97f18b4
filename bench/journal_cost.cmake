# bench/journal_cost: what the journal costs through zelt-cli (an import of 10 rows into tables of
# 1,000 to 720,000 rows, fill-heights at 100,000 rows against its own table writes alone).
# journal_cost.sh beside the other benchmarks runs it with this build's programs.
add_library(journal_io_shim SHARED ${CMAKE_CURRENT_LIST_DIR}/journal_io_shim.c)
target_link_libraries(journal_io_shim PRIVATE ${CMAKE_DL_LIBS})
add_executable(journal_floor ${CMAKE_CURRENT_LIST_DIR}/journal_floor.c)
set(_journal_cost_sh ${CMAKE_CURRENT_BINARY_DIR}/journal_cost.sh)
file(GENERATE OUTPUT ${_journal_cost_sh}
     CONTENT "#!/bin/sh\nexec '${CMAKE_CURRENT_SOURCE_DIR}/journal_cost' --cli '$<TARGET_FILE:zelt-cli>' --shim '$<TARGET_FILE:journal_io_shim>' --floor '$<TARGET_FILE:journal_floor>' \"$@\"\n"
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
add_custom_target(journal_cost_bench DEPENDS zelt-cli journal_io_shim journal_floor)
