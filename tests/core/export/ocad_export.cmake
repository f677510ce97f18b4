# Tests of the map export: template, writer, route geometry, figure file and export routines.
foreach(_t ocad_template_test ocad_writer_test route_geometry_test route_export_test route_line_test route_export_fit_test)
  add_core_test(${_t} LIBS core_export)
  set_target_properties(${_t} PROPERTIES AUTOMOC ON)
endforeach()
# Files that are not regular files of a sane size, for every kind of file read or written in place.
add_core_test(non_regular_files_test LIBS core_export core_interchange)
set_target_properties(non_regular_files_test PROPERTIES AUTOMOC ON)
