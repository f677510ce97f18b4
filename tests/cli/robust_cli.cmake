# zelt-cli on tables holding odd numbers or random bytes: every command ends, none crashes.
add_core_test(robust_cli_test LIBS core_document)
set_target_properties(robust_cli_test PROPERTIES AUTOMOC ON)
target_link_libraries(robust_cli_test PRIVATE Qt6::Gui)
target_compile_definitions(robust_cli_test PRIVATE ZELT_CLI="$<TARGET_FILE:zelt-cli>")
add_dependencies(robust_cli_test zelt-cli)
