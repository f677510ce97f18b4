# Widget tests of Undo and Redo and of the row being typed when a document window closes.
add_shell_test(test_undo)
set_target_properties(test_undo PROPERTIES AUTOMOC ON)
