# zelt-cli outputs over existing files when the write fails part-way.
add_core_test(outputs_cli_test LIBS core_document)
set_target_properties(outputs_cli_test PROPERTIES AUTOMOC ON)
target_compile_definitions(outputs_cli_test PRIVATE ZELT_CLI="$<TARGET_FILE:zelt-cli>")
add_dependencies(outputs_cli_test zelt-cli)
