# zelt-cli paste, export-txt and export-xlsx, run as the user runs them.
add_core_test(interchange_cli_test LIBS core_document core_interchange)
set_target_properties(interchange_cli_test PROPERTIES AUTOMOC ON)
target_compile_definitions(interchange_cli_test PRIVATE ZELT_CLI="$<TARGET_FILE:zelt-cli>")
add_dependencies(interchange_cli_test zelt-cli)
