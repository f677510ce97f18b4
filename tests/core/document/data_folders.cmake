# Where the programs look for their data files (core_document).
add_core_test(data_folders_test LIBS core_document)
set_target_properties(data_folders_test PROPERTIES AUTOMOC ON)
