# Widget tests of the known-points dialog and the export dialog's placement option.
add_shell_test(test_known_points_dialog)
set_target_properties(test_known_points_dialog PROPERTIES AUTOMOC ON)
