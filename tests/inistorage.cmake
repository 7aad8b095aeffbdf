add_executable(test_inistorage
  ${CMAKE_CURRENT_LIST_DIR}/inistorage_support.cpp
  ${CMAKE_CURRENT_LIST_DIR}/inistorage_parse_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/inistorage_query_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/inistorage_write_test.cpp
)
target_link_libraries(test_inistorage PRIVATE test_support inistorage GTest::gtest_main)
gtest_discover_tests(test_inistorage PROPERTIES LABELS unit)
