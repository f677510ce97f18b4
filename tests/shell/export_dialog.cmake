# Widget tests of the export dialog and the "&Export" command.
add_shell_test(export_dialog_test)
set_target_properties(export_dialog_test PROPERTIES AUTOMOC ON)
target_include_directories(export_dialog_test PRIVATE ${PROJECT_SOURCE_DIR}/tests/core/export)
