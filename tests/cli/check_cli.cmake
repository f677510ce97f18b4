# zelt-cli check, run as the user runs it.
add_core_test(check_cli_test LIBS core_document)
set_target_properties(check_cli_test PROPERTIES AUTOMOC ON)
target_compile_definitions(check_cli_test PRIVATE ZELT_CLI="$<TARGET_FILE:zelt-cli>")
add_dependencies(check_cli_test zelt-cli)
