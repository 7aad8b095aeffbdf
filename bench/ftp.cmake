# A 6 MB SITE USERS reply over loopback: the client's line and reply reading
# against a bare recv loop reading the same bytes.
add_executable(bench_ftp_exchange ${CMAKE_CURRENT_LIST_DIR}/bench_ftp_exchange.cpp)
target_link_libraries(bench_ftp_exchange PRIVATE ftp net siteserver benchmark::benchmark)

# The same reply through TLS beside plain, and connect + login with and
# without the TLS handshake.
add_executable(bench_ftp_tls ${CMAKE_CURRENT_LIST_DIR}/bench_ftp_tls.cpp)
target_link_libraries(bench_ftp_tls PRIVATE ftp net siteserver benchmark::benchmark OpenSSL::Crypto)

# Connect + login through a real SOCKS5 proxy (microsocks) beside direct.
add_executable(bench_proxy ${CMAKE_CURRENT_LIST_DIR}/bench_proxy.cpp)
target_link_libraries(bench_proxy PRIVATE ftp net siteserver benchmark::benchmark)

# Memory and CPU of idle sessions logged in to the demo site (in a child process).
add_executable(bench_idle_sessions ${CMAKE_CURRENT_LIST_DIR}/bench_idle_sessions.cpp)
target_link_libraries(bench_idle_sessions PRIVATE session net siteserver)
