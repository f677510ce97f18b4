# Table interchange: layout stream, text export, spreadsheet export, paste.
foreach(_t layout_stream_test column_defaults_test text_export_test spreadsheet_export_test)
  add_core_test(${_t} LIBS core_interchange)
  set_target_properties(${_t} PROPERTIES AUTOMOC ON)
endforeach()
add_core_test(paste_test LIBS core_interchange core_compute)
set_target_properties(paste_test PROPERTIES AUTOMOC ON)
add_dependencies(layout_stream_test zelt_layouts)
# Fixed formats under comma-decimal locales: the same program once per locale.
add_executable(comma_locale_test comma_locale_test.cpp)
target_link_libraries(comma_locale_test PRIVATE core_interchange Qt6::Test)
set_target_properties(comma_locale_test PROPERTIES AUTOMOC ON)
target_include_directories(comma_locale_test PRIVATE ${PROJECT_SOURCE_DIR}/tests/support ${PROJECT_SOURCE_DIR}/src)
target_compile_definitions(comma_locale_test PRIVATE ZELT_SHARED_DIR="${ZELT_SHARED_DIR}")
foreach(_loc de_DE ru_RU)
  add_test(NAME comma_locale_test_${_loc} COMMAND comma_locale_test)
  set_tests_properties(comma_locale_test_${_loc} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=${_loc}.UTF-8;LANG=${_loc}.UTF-8" TIMEOUT 120 LABELS core)
endforeach()
# Killed import, paste and passes: forks children and kills them.
add_core_test(row_kill_test LIBS core_interchange core_compute)
set_target_properties(row_kill_test PROPERTIES AUTOMOC ON)
# Damaged companions refused, failed writes leaving the old file.
add_core_test(companion_files_test LIBS core_interchange core_export)
set_target_properties(companion_files_test PROPERTIES AUTOMOC ON)
