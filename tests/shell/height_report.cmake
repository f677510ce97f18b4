# Widget tests of the height commands and dialogs, and of the report preview and printing.
foreach(_t test_height_commands test_report_view)
  add_shell_test(${_t})
  set_target_properties(${_t} PROPERTIES AUTOMOC ON)
endforeach()
