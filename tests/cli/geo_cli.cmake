# zelt-cli georef, known points given on Earth, export-gis read back by GDAL's own tools.
add_core_test(geo_cli_test LIBS core_document)
set_target_properties(geo_cli_test PROPERTIES AUTOMOC ON)
target_compile_definitions(geo_cli_test PRIVATE ZELT_CLI="$<TARGET_FILE:zelt-cli>")
add_dependencies(geo_cli_test zelt-cli)
