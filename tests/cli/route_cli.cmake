# zelt-cli route and plot, run as the user runs them.
add_core_test(route_cli_test LIBS core_document)
set_target_properties(route_cli_test PROPERTIES AUTOMOC ON)
target_link_libraries(route_cli_test PRIVATE Qt6::Gui)
target_compile_definitions(route_cli_test PRIVATE ZELT_CLI="$<TARGET_FILE:zelt-cli>")
add_dependencies(route_cli_test zelt-cli)
