# korvastel-cli run as a process against the scripted server, pyftpdlib and
# ProFTPD with TLS; real servers are skipped, saying what to install, where missing.
add_executable(cli_tests ${CMAKE_CURRENT_LIST_DIR}/cli_test.cpp ${CMAKE_CURRENT_LIST_DIR}/support/TestPeers.cpp)
target_link_libraries(cli_tests PRIVATE test_support siteserver GTest::gtest_main)
target_compile_definitions(cli_tests PRIVATE KORVASTEL_CLI="$<TARGET_FILE:korvastel-cli>"
  KORVASTEL_PYFTPD_SERVER="${CMAKE_CURRENT_LIST_DIR}/pyftpd_server.py")
add_dependencies(cli_tests korvastel-cli)
gtest_discover_tests(cli_tests PROPERTIES LABELS integration TIMEOUT 120)
