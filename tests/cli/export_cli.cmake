# zelt-cli export-ocd, run as the user runs it.
add_core_test(export_cli_test LIBS core_document)
set_target_properties(export_cli_test PROPERTIES AUTOMOC ON)
target_include_directories(export_cli_test PRIVATE ${PROJECT_SOURCE_DIR}/tests/core/export)
target_compile_definitions(export_cli_test PRIVATE ZELT_CLI="$<TARGET_FILE:zelt-cli>")
add_dependencies(export_cli_test zelt-cli)
