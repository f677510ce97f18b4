# bench/scale: zelt-cli's commands at 25,000 and 100,000 rows, times, peak memory and ratios.
# scale.sh beside the other benchmarks runs it with this build's zelt-cli and table_bench.
set(_scale_sh ${CMAKE_CURRENT_BINARY_DIR}/scale.sh)
file(GENERATE OUTPUT ${_scale_sh}
     CONTENT "#!/bin/sh\nexec '${CMAKE_CURRENT_SOURCE_DIR}/scale' --cli '$<TARGET_FILE:zelt-cli>' --table-bench '$<TARGET_FILE:table_bench>' \"$@\"\n"
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
add_custom_target(scale_bench DEPENDS zelt-cli table_bench)
