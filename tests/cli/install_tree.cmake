# The installed tree: `cmake --install` into a temporary prefix, then the programs run from there.
add_core_test(install_tree_test LIBS core_document)
set_target_properties(install_tree_test PROPERTIES AUTOMOC ON)
target_compile_definitions(install_tree_test PRIVATE ZELT_CMAKE="${CMAKE_COMMAND}"
  ZELT_DATA_DIR="${ZELT_DATA_DIR}" ZELT_APPSTREAM_ID="${ZELT_APPSTREAM_ID}")
# Everything installed must exist before the test installs it.
add_dependencies(install_tree_test zelt zelt-cli zelt_layouts)
if(TARGET zelt_installed_docs)
  add_dependencies(install_tree_test zelt_installed_docs)
endif()
set_tests_properties(install_tree_test PROPERTIES TIMEOUT 300)
