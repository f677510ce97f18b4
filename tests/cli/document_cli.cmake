# zelt-cli new, info, dump and import, run as the user runs them.
add_core_test(document_cli_test LIBS core_document core_interchange)
set_target_properties(document_cli_test PROPERTIES AUTOMOC ON)
target_compile_definitions(document_cli_test PRIVATE ZELT_CLI="$<TARGET_FILE:zelt-cli>")
add_dependencies(document_cli_test zelt-cli)
