# Free names for many sites of one name, read and imported.
add_executable(bench_sitelist ${CMAKE_CURRENT_LIST_DIR}/bench_sitelist.cpp)
target_link_libraries(bench_sitelist PRIVATE session benchmark::benchmark)
