# korvastel-cli as a process: peak memory under an endless reply, CPU and
# stop time with many silent targets.
add_executable(bench_cli ${CMAKE_CURRENT_LIST_DIR}/bench_cli.cpp)
target_include_directories(bench_cli PRIVATE ${PROJECT_SOURCE_DIR}/tools)
target_link_libraries(bench_cli PRIVATE siteserver)
target_compile_definitions(bench_cli PRIVATE KORVASTEL_CLI="$<TARGET_FILE:korvastel-cli>")
add_dependencies(bench_cli korvastel-cli)
