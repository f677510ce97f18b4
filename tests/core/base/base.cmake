# Where the programs look for their data files, and the diagnostics every room reports with.
foreach(_t data_folders_test diagnostic_test atomic_file_test)
  add_core_test(${_t} LIBS core_base)
  set_target_properties(${_t} PROPERTIES AUTOMOC ON)
endforeach()
