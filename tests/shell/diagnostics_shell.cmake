# Widget tests of the window's notes and warnings (status bar and list).
add_shell_test(test_diagnostics)
set_target_properties(test_diagnostics PROPERTIES AUTOMOC ON)
