# Widget tests of the interchange commands, the "Grids" menu and the "Cols" drop-down.
add_shell_test(test_interchange_commands)
set_target_properties(test_interchange_commands PROPERTIES AUTOMOC ON)
add_dependencies(test_interchange_commands zelt_layouts)
