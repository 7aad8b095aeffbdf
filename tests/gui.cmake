# GUI tests: the real dialog, offscreen.
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)

add_library(gui_test_support STATIC
  ${CMAKE_CURRENT_LIST_DIR}/support/DialogHarness.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/GuiTestMain.cpp
)
target_include_directories(gui_test_support PUBLIC ${CMAKE_CURRENT_LIST_DIR}/support)
target_link_libraries(gui_test_support PUBLIC app Qt6::Widgets Qt6::Test GTest::gtest)

# One executable per topic; each runs offscreen in a throwaway HOME.
function(korvastel_gui_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE gui_test_support siteserver)
  gtest_discover_tests(${name} PROPERTIES LABELS gui TIMEOUT 120 ENVIRONMENT QT_QPA_PLATFORM=offscreen DISCOVERY_TIMEOUT 30)
endfunction()

korvastel_gui_test(test_gui_mainwindow ${CMAKE_CURRENT_LIST_DIR}/gui_mainwindow_test.cpp)
korvastel_gui_test(test_gui_outputlog ${CMAKE_CURRENT_LIST_DIR}/gui_outputlog_test.cpp)
# The per-user store of trusted certificates; it needs the throwaway HOME of these tests.
korvastel_gui_test(test_platform_trust ${CMAKE_CURRENT_LIST_DIR}/platform_trust_test.cpp)
