# Widget tests of the route dock.
add_shell_test(test_route_view)
set_target_properties(test_route_view PROPERTIES AUTOMOC ON)

# Route pictures, the PNG writer, label placement and the route model without windows.
add_shell_test(test_route_painting)
set_target_properties(test_route_painting PROPERTIES AUTOMOC ON)

# The pictures painted from routes holding huge, infinite and undefined values, in a child with a time limit.
add_shell_test(test_paint_fuzz)
set_target_properties(test_paint_fuzz PROPERTIES AUTOMOC ON)
