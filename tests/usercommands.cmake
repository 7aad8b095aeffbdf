# The command list and the user actions panel.

# Qt-free: line breaks, the group list, placeholders and their substitution,
# and the sample command list.
add_executable(test_usercommands ${CMAKE_CURRENT_LIST_DIR}/usercommands_test.cpp)
target_link_libraries(test_usercommands PRIVATE test_support usercommands GTest::gtest_main)
target_compile_definitions(test_usercommands PRIVATE
  KORVASTEL_EXAMPLE_COMMAND_LIST="${PROJECT_SOURCE_DIR}/examples/commandList.ini")
gtest_discover_tests(test_usercommands PROPERTIES LABELS unit)

# The real dialog offscreen, against the scripted server.
korvastel_gui_test(test_gui_usercommands ${CMAKE_CURRENT_LIST_DIR}/gui_usercommands_test.cpp)
target_compile_definitions(test_gui_usercommands PRIVATE
  KORVASTEL_EXAMPLE_COMMAND_LIST="${PROJECT_SOURCE_DIR}/examples/commandList.ini")

# Start-up without a window: command line and command list location.
add_executable(test_appstart ${CMAKE_CURRENT_LIST_DIR}/app_start_test.cpp)
target_link_libraries(test_appstart PRIVATE test_support appstart GTest::gtest_main)
gtest_discover_tests(test_appstart PROPERTIES LABELS unit)
