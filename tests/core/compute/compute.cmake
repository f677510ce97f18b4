# Tests of the field rules and height passes (core_compute).
foreach(_t field_rules_test height_passes_test recalc_pass_test route_compute_test route_fit_test blunder_check_test
    pass_fuzz_test)
  add_core_test(${_t} LIBS core_compute)
  set_target_properties(${_t} PROPERTIES AUTOMOC ON)
endforeach()
