# Table interchange: layout stream, column defaults, text export, spreadsheet export, paste.
foreach(_t layout_stream_test)
  add_core_test(${_t} LIBS core_interchange)
  set_target_properties(${_t} PROPERTIES AUTOMOC ON)
endforeach()
add_dependencies(layout_stream_test zelt_layouts)
