# zelt-cli under injected faults: a kill, a full disk or an I/O error at the k-th call that
# changes a file (an LD_PRELOAD shim counts them), and two programs on one table.
add_library(zelt_fault_shim SHARED ${PROJECT_SOURCE_DIR}/tests/tools/fault_shim.c)
target_link_libraries(zelt_fault_shim PRIVATE ${CMAKE_DL_LIBS})
add_core_test(crash_cli_test LIBS core_document)
set_target_properties(crash_cli_test PROPERTIES AUTOMOC ON)
target_compile_definitions(crash_cli_test PRIVATE ZELT_CLI="$<TARGET_FILE:zelt-cli>"
                                                  ZELT_FAULT_SHIM="$<TARGET_FILE:zelt_fault_shim>")
add_dependencies(crash_cli_test zelt-cli zelt_fault_shim)
