add_executable(test_transcript ${CMAKE_CURRENT_LIST_DIR}/transcript_test.cpp)
target_link_libraries(test_transcript PRIVATE transcript GTest::gtest_main)
gtest_discover_tests(test_transcript PROPERTIES LABELS unit)
