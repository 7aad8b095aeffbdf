find_package(Qt6 REQUIRED COMPONENTS Widgets)

add_executable(bench_gui ${CMAKE_CURRENT_LIST_DIR}/bench_gui.cpp)
target_link_libraries(bench_gui PRIVATE app siteserver benchmark::benchmark Qt6::Widgets)

add_executable(bench_startup ${CMAKE_CURRENT_LIST_DIR}/bench_startup.cpp)
target_link_libraries(bench_startup PRIVATE app Qt6::Widgets)

# Korvastel's side of bench/compare-bigreply.
add_executable(bench_bigreply ${CMAKE_CURRENT_LIST_DIR}/bench_bigreply.cpp)
target_link_libraries(bench_bigreply PRIVATE app Qt6::Widgets)

# The longest the GUI thread is away while a 1,000,000-line reply arrives.
add_executable(bench_stall ${CMAKE_CURRENT_LIST_DIR}/bench_stall.cpp)
target_link_libraries(bench_stall PRIVATE app siteserver Qt6::Widgets)

# Memory per tab: 20 tabs logged in and idle beside one.
add_executable(bench_tabs ${CMAKE_CURRENT_LIST_DIR}/bench_tabs.cpp)
target_link_libraries(bench_tabs PRIVATE app siteserver Qt6::Widgets)

# Run on Sites: SITE WHO on 20 scripted sites beside one.
add_executable(bench_run_on_sites ${CMAKE_CURRENT_LIST_DIR}/bench_run_on_sites.cpp)
target_link_libraries(bench_run_on_sites PRIVATE app siteserver Qt6::Widgets)

# The window's peak memory under a reply that never ends, with a transcript limit.
add_executable(bench_flood ${CMAKE_CURRENT_LIST_DIR}/bench_flood.cpp)
target_link_libraries(bench_flood PRIVATE app siteserver Qt6::Widgets)

# Opening the Reply Table window on a 100,000-row reply.
add_executable(bench_replytable_window ${CMAKE_CURRENT_LIST_DIR}/bench_replytable_window.cpp)
target_link_libraries(bench_replytable_window PRIVATE app Qt6::Widgets)
