# Widget tests of the desktop program's main window, document window and settings store.
foreach(_t test_main_form test_mdi_child test_reg_save)
  add_shell_test(${_t})
  set_target_properties(${_t} PROPERTIES AUTOMOC ON)
endforeach()
