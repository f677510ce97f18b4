# Command-line conventions of both programs: help, version, usage errors and exit statuses.
add_core_test(conventions_cli_test LIBS core_document)
set_target_properties(conventions_cli_test PROPERTIES AUTOMOC ON)
target_compile_definitions(conventions_cli_test PRIVATE ZELT_CLI="$<TARGET_FILE:zelt-cli>"
  ZELT_APP="$<TARGET_FILE:zelt>" ZELT_VERSION="${PROJECT_VERSION}")
add_dependencies(conventions_cli_test zelt-cli zelt)
