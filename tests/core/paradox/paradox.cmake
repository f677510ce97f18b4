# Paradox table codec: reading samples, writing, crash safety, fuzzing, and a pxlib oracle.
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(PXLIB QUIET IMPORTED_TARGET pxlib)
endif()

set(_px_oracle "")
if(PXLIB_FOUND)
  # Test-only second reader over pxlib; never linked into the product.
  add_executable(px_oracle ${PROJECT_SOURCE_DIR}/tests/tools/px_oracle.cpp)
  target_link_libraries(px_oracle PRIVATE PkgConfig::PXLIB)
  set(_px_oracle "$<TARGET_FILE:px_oracle>")
endif()

foreach(_t test_paradox_read test_paradox_write test_paradox_crash test_paradox_fuzz test_paradox_concurrent)
  add_core_test(${_t} LIBS core_paradox)
  set_target_properties(${_t} PROPERTIES AUTOMOC ON)
  target_compile_definitions(${_t} PRIVATE PX_ORACLE="${_px_oracle}"
    PXCHECK="${ZELT_SHARED_DIR}/paradox-samples/pxcheck.py")
  if(PXLIB_FOUND)
    add_dependencies(${_t} px_oracle)
  endif()
endforeach()
