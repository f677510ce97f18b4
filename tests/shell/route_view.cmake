# Widget tests of the route dock.
add_shell_test(test_route_view)
set_target_properties(test_route_view PROPERTIES AUTOMOC ON)
