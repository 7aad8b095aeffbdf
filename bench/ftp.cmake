# A 6 MB SITE USERS reply over loopback: the client's line and reply reading
# against a bare recv loop reading the same bytes.
add_executable(bench_ftp_exchange ${CMAKE_CURRENT_LIST_DIR}/bench_ftp_exchange.cpp)
target_link_libraries(bench_ftp_exchange PRIVATE ftp platform_socket siteserver benchmark::benchmark)
