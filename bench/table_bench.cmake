# Table codec benchmark: appends, open, a full update pass and mid-table inserts on 100,000 rows,
# the same appends through pxlib for comparison, and a long random-kill run.
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(PXLIB QUIET IMPORTED_TARGET pxlib)
endif()
add_executable(table_bench ${CMAKE_CURRENT_LIST_DIR}/table_bench.cpp)
target_link_libraries(table_bench PRIVATE core_document)
target_include_directories(table_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests/core/paradox)
target_compile_definitions(table_bench PRIVATE ZELT_SHARED_DIR="${PROJECT_SOURCE_DIR}/../shared")
if(PXLIB_FOUND)
  target_link_libraries(table_bench PRIVATE PkgConfig::PXLIB)
  target_compile_definitions(table_bench PRIVATE ZELT_HAVE_PXLIB=1)
endif()
