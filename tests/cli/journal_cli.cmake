# The journal as input from a stranger: hostile, damaged, foreign and stale journals beside a
# table; copies of a folder with a killed change; what a change journals; leftover temporaries.
add_core_test(journal_cli_test LIBS core_document)
set_target_properties(journal_cli_test PROPERTIES AUTOMOC ON)
target_compile_definitions(journal_cli_test PRIVATE ZELT_CLI="$<TARGET_FILE:zelt-cli>"
                                                    ZELT_FAULT_SHIM="$<TARGET_FILE:zelt_fault_shim>")
add_dependencies(journal_cli_test zelt-cli zelt_fault_shim)
