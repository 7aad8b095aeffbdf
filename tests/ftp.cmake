# Tests of the control-connection logic, the socket and the site servers.

# Line and reply reading, history entries, command trimming, error texts.
add_executable(ftp_unit_tests
  ${CMAKE_CURRENT_LIST_DIR}/ftp_line_reader_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ftp_text_test.cpp
)
target_link_libraries(ftp_unit_tests PRIVATE ftp session GTest::gtest_main)
gtest_discover_tests(ftp_unit_tests PROPERTIES LABELS unit TIMEOUT 60)

# The connection and the socket against the scripted server, on the loopback.
add_executable(ftp_socket_tests
  ${CMAKE_CURRENT_LIST_DIR}/ftp_connection_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ftp_connection_tls_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ftp_socket_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/socks5_test.cpp
)
target_include_directories(ftp_socket_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/support)
target_link_libraries(ftp_socket_tests PRIVATE ftp net session siteserver GTest::gtest_main)
korvastel_tsan_test(ftp_socket_tests)

# The TLS layer against the demo site and scripted servers.
add_executable(ftp_tls_tests ${CMAKE_CURRENT_LIST_DIR}/ftp_tls_test.cpp)
target_include_directories(ftp_tls_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/support)
target_link_libraries(ftp_tls_tests PRIVATE ftp net session siteserver GTest::gtest_main)
gtest_discover_tests(ftp_tls_tests PROPERTIES LABELS unit TIMEOUT 60)

# Against real peers (Debian's pyftpdlib, plain and with TLS; a renegotiating
# TLS peer; openssl s_server), with certificates made by openssl at test time;
# each case is skipped, saying what to install, where its peer is missing.
add_executable(ftp_integration_tests
  ${CMAKE_CURRENT_LIST_DIR}/ftp_tls_peers_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/TestPeers.cpp
)
target_link_libraries(ftp_integration_tests PRIVATE test_support ftp net session siteserver GTest::gtest_main)
target_compile_definitions(ftp_integration_tests PRIVATE
  KORVASTEL_PYFTPD_SERVER="${CMAKE_CURRENT_LIST_DIR}/pyftpd_server.py")
gtest_discover_tests(ftp_integration_tests PROPERTIES LABELS integration TIMEOUT 60)
