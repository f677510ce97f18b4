# Table interchange: layout stream, text export, spreadsheet export, paste.
foreach(_t layout_stream_test column_defaults_test text_export_test spreadsheet_export_test)
  add_core_test(${_t} LIBS core_interchange)
  set_target_properties(${_t} PROPERTIES AUTOMOC ON)
endforeach()
add_core_test(paste_test LIBS core_interchange core_compute)
set_target_properties(paste_test PROPERTIES AUTOMOC ON)
add_dependencies(layout_stream_test zelt_layouts)
