add_executable(bench_inistorage ${CMAKE_CURRENT_LIST_DIR}/bench_inistorage.cpp)
target_link_libraries(bench_inistorage PRIVATE inistorage benchmark::benchmark)
