# zelt-cli height commands and the PDF report, run as the user runs them.
foreach(_t compute_cli_test report_cli_test)
  add_core_test(${_t} LIBS core_document)
  set_target_properties(${_t} PROPERTIES AUTOMOC ON)
  target_compile_definitions(${_t} PRIVATE ZELT_CLI="$<TARGET_FILE:zelt-cli>")
  add_dependencies(${_t} zelt-cli)
endforeach()
