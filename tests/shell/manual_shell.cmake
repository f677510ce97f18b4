# Widget tests of the manual window: Help > Manual, F1 in a dialog, the user's language.
add_shell_test(test_manual)
set_target_properties(test_manual PROPERTIES AUTOMOC ON)
target_compile_definitions(test_manual PRIVATE ZELT_TEST_MANUAL_SOURCE="${PROJECT_SOURCE_DIR}/docs/manual")
