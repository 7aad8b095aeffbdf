# The session on its worker thread, against the scripted server.
add_executable(session_tests ${CMAKE_CURRENT_LIST_DIR}/session_test.cpp)
target_include_directories(session_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/support)
target_link_libraries(session_tests PRIVATE session siteserver GTest::gtest_main)
gtest_discover_tests(session_tests PROPERTIES LABELS unit TIMEOUT 60)

add_executable(sitelist_tests ${CMAKE_CURRENT_LIST_DIR}/sitelist_test.cpp)
target_link_libraries(sitelist_tests PRIVATE session GTest::gtest_main)
gtest_discover_tests(sitelist_tests PROPERTIES LABELS unit TIMEOUT 60)
