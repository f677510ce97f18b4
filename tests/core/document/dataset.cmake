# Tests of the traverse dataset, its number texts and the document files (core_document).
foreach(_t value_format_test traverse_table_test document_files_test known_points_test survey_values_test document_session_test
       document_known_points_test table_rows_test document_change_test)
  add_core_test(${_t} LIBS core_document)
  set_target_properties(${_t} PROPERTIES AUTOMOC ON)
endforeach()
