# zelt-cli known-points, fit and export-ocd --fit, run as the user runs them.
add_core_test(known_cli_test LIBS core_document)
set_target_properties(known_cli_test PROPERTIES AUTOMOC ON)
target_include_directories(known_cli_test PRIVATE ${PROJECT_SOURCE_DIR}/tests/core/export)
target_compile_definitions(known_cli_test PRIVATE ZELT_CLI="$<TARGET_FILE:zelt-cli>")
add_dependencies(known_cli_test zelt-cli)
