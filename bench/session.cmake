# Free names for many sites of one name, read and imported.
add_executable(bench_sitelist ${CMAKE_CURRENT_LIST_DIR}/bench_sitelist.cpp)
target_link_libraries(bench_sitelist PRIVATE session benchmark::benchmark)

# The table of a reply of 100,000 rows: found, and sorted by a numeric column.
add_executable(bench_replytable ${CMAKE_CURRENT_LIST_DIR}/bench_replytable.cpp)
target_link_libraries(bench_replytable PRIVATE session benchmark::benchmark)

# A site's session log: a million reply lines stamped and appended.
add_executable(bench_sessionlog ${CMAKE_CURRENT_LIST_DIR}/bench_sessionlog.cpp)
target_link_libraries(bench_sessionlog PRIVATE session benchmark::benchmark)
