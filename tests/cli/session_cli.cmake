# zelt-cli document handling: read-only commands, damaged and held tables, save-as and rename.
add_core_test(session_cli_test LIBS core_document)
set_target_properties(session_cli_test PROPERTIES AUTOMOC ON)
target_compile_definitions(session_cli_test PRIVATE ZELT_CLI="$<TARGET_FILE:zelt-cli>")
add_dependencies(session_cli_test zelt-cli)
