# The Debian package: built with cpack, unpacked, and its program asked for
# its version. Skipped where dpkg's tools are missing.
add_test(NAME Package.DebUnpacksAndAnswersVersion
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/package_test.sh ${PROJECT_BINARY_DIR} ${PROJECT_VERSION})
set_tests_properties(Package.DebUnpacksAndAnswersVersion PROPERTIES LABELS integration SKIP_RETURN_CODE 77 TIMEOUT 300)
