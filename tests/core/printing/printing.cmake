# Tests of the table report's layout and pagination (core_printing).
add_core_test(report_pages_test LIBS core_printing)
set_target_properties(report_pages_test PROPERTIES AUTOMOC ON)
