# Widget test of the Check command and its list.
add_shell_test(test_check_command)
set_target_properties(test_check_command PROPERTIES AUTOMOC ON)
