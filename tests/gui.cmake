# GUI tests: the real dialog, offscreen.
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)

add_library(gui_test_support STATIC
  ${CMAKE_CURRENT_LIST_DIR}/support/DialogHarness.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/GuiTestMain.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/WindowHarness.cpp
)
target_link_libraries(gui_test_support PUBLIC test_support app siteserver Qt6::Widgets Qt6::Test GTest::gtest)

# One executable per topic; each runs offscreen in a throwaway HOME.
function(korvastel_gui_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE gui_test_support siteserver)
  gtest_discover_tests(${name} PROPERTIES LABELS gui TIMEOUT 120 ENVIRONMENT QT_QPA_PLATFORM=offscreen DISCOVERY_TIMEOUT 30)
endfunction()

korvastel_gui_test(test_gui_mainwindow ${CMAKE_CURRENT_LIST_DIR}/gui_mainwindow_test.cpp)
korvastel_gui_test(test_gui_pane ${CMAKE_CURRENT_LIST_DIR}/gui_pane_test.cpp)

# The Site Manager; its keyring cases run apart, each on a bus of its own
# making (a private GNOME Keyring, or a bus where no keyring answers).
add_executable(test_gui_sitemanager ${CMAKE_CURRENT_LIST_DIR}/gui_sitemanager_test.cpp)
target_link_libraries(test_gui_sitemanager PRIVATE gui_test_support siteserver)
gtest_discover_tests(test_gui_sitemanager TEST_FILTER "-SiteManagerKeyring.*"
                     PROPERTIES LABELS gui TIMEOUT 120 ENVIRONMENT QT_QPA_PLATFORM=offscreen DISCOVERY_TIMEOUT 30)
if(KORVASTEL_KEYRING_DAEMON)
  add_test(NAME SiteManagerKeyring.RemembersThePassword
           COMMAND ${CMAKE_CURRENT_LIST_DIR}/with_keyring.sh $<TARGET_FILE:test_gui_sitemanager>
                   --gtest_filter=SiteManagerKeyring.RemembersThePassword)
  add_test(NAME SiteManagerKeyring.NoKeyringDisablesTheBox
           COMMAND $<TARGET_FILE:test_gui_sitemanager> --gtest_filter=SiteManagerKeyring.NoKeyringDisablesTheBox)
  add_test(NAME SiteManagerKeyring.RemembersTheProxyPasswordBesideTheSites
           COMMAND ${CMAKE_CURRENT_LIST_DIR}/with_keyring.sh $<TARGET_FILE:test_gui_sitemanager>
                   --gtest_filter=SiteManagerKeyring.RemembersTheProxyPasswordBesideTheSites)
  set_tests_properties(SiteManagerKeyring.RemembersThePassword SiteManagerKeyring.NoKeyringDisablesTheBox
                       SiteManagerKeyring.RemembersTheProxyPasswordBesideTheSites
                       PROPERTIES LABELS integration TIMEOUT 120 ENVIRONMENT QT_QPA_PLATFORM=offscreen)
  set_tests_properties(SiteManagerKeyring.NoKeyringDisablesTheBox PROPERTIES
                       ENVIRONMENT "QT_QPA_PLATFORM=offscreen;DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus")
endif()

# The pane through the accessibility bus, end to end: the real program under
# Xvfb with a session bus, read by an AT-SPI client as a screen reader reads it.
find_program(KORVASTEL_XVFB_RUN xvfb-run)
find_program(KORVASTEL_DBUS_RUN_SESSION dbus-run-session)
find_program(KORVASTEL_XDOTOOL xdotool)
if(KORVASTEL_XVFB_RUN AND KORVASTEL_DBUS_RUN_SESSION AND KORVASTEL_XDOTOOL)
  add_test(NAME Pane.ReadThroughAtSpi
           COMMAND ${KORVASTEL_XVFB_RUN} -a -s "-screen 0 1280x900x24" ${KORVASTEL_DBUS_RUN_SESSION}
                   /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/pane_atspi_check.py
                   $<TARGET_FILE:korvastel> $<TARGET_FILE:korvastel-siteserver>)
  set_tests_properties(Pane.ReadThroughAtSpi PROPERTIES LABELS gui RUN_SERIAL TRUE TIMEOUT 120 SKIP_RETURN_CODE 77)
  # Keys typed into the real program from its first key on: Enter in every
  # edit and the pane, Escape in the find bar and in an edit.
  add_test(NAME MainWindow.KeysUnderX11
           COMMAND ${KORVASTEL_XVFB_RUN} -a -s "-screen 0 1280x900x24" ${KORVASTEL_DBUS_RUN_SESSION}
                   /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/keys_xvfb_check.py
                   $<TARGET_FILE:korvastel> $<TARGET_FILE:korvastel-siteserver>)
  set_tests_properties(MainWindow.KeysUnderX11 PROPERTIES LABELS gui RUN_SERIAL TRUE TIMEOUT 180 SKIP_RETURN_CODE 77)
  # Run on Sites read and clicked from outside: site check boxes, the Passwords dialog, no hidden page tab.
  add_test(NAME RunOnSites.ThroughAtSpi
           COMMAND ${KORVASTEL_XVFB_RUN} -a -s "-screen 0 1280x900x24" ${KORVASTEL_DBUS_RUN_SESSION}
                   /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/runonsites_atspi_check.py
                   $<TARGET_FILE:korvastel> $<TARGET_FILE:korvastel-siteserver>)
  set_tests_properties(RunOnSites.ThroughAtSpi PROPERTIES LABELS gui RUN_SERIAL TRUE TIMEOUT 120 SKIP_RETURN_CODE 77)
  # "Show as Table" on the demo site's SITE USERS: the Reply Table window sorted and copied from outside.
  add_test(NAME ReplyTable.ThroughAtSpi
           COMMAND ${KORVASTEL_XVFB_RUN} -a -s "-screen 0 1280x900x24" ${KORVASTEL_DBUS_RUN_SESSION}
                   /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/replytable_atspi_check.py
                   $<TARGET_FILE:korvastel> $<TARGET_FILE:korvastel-siteserver>)
  set_tests_properties(ReplyTable.ThroughAtSpi PROPERTIES LABELS gui RUN_SERIAL TRUE TIMEOUT 120 SKIP_RETURN_CODE 77)
  # The Site Manager of two programs on one list, driven through AT-SPI.
  add_test(NAME SiteManager.TwoProgramsThroughAtSpi
           COMMAND ${KORVASTEL_XVFB_RUN} -a -s "-screen 0 1280x900x24" ${KORVASTEL_DBUS_RUN_SESSION}
                   /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/sitemanager_atspi_check.py $<TARGET_FILE:korvastel>)
  set_tests_properties(SiteManager.TwoProgramsThroughAtSpi PROPERTIES LABELS gui RUN_SERIAL TRUE TIMEOUT 120
                       SKIP_RETURN_CODE 77)
  # A saved site through a real SOCKS5 proxy: the right proxy password logs in, a wrong one says so.
  add_test(NAME SiteManager.ThroughAProxyThroughAtSpi
           COMMAND ${KORVASTEL_XVFB_RUN} -a -s "-screen 0 1280x900x24" ${KORVASTEL_DBUS_RUN_SESSION}
                   /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/proxy_atspi_check.py $<TARGET_FILE:korvastel>)
  set_tests_properties(SiteManager.ThroughAProxyThroughAtSpi PROPERTIES LABELS gui RUN_SERIAL TRUE TIMEOUT 120
                       SKIP_RETURN_CODE 77)
else()
  message(STATUS "xvfb-run, dbus-run-session or xdotool missing: the pane's AT-SPI check and the X11 key check are not run")
endif()

# The per-user store of trusted certificates; it needs the throwaway HOME of these tests.
korvastel_gui_test(test_platform_trust ${CMAKE_CURRENT_LIST_DIR}/platform_trust_test.cpp)

# The tabbed window around the dialogs.
korvastel_gui_test(test_gui_tabs ${CMAKE_CURRENT_LIST_DIR}/gui_tabs_test.cpp)

# Run on Sites: one command on several saved sites, each in a tab of its own.
korvastel_gui_test(test_gui_runonsites ${CMAKE_CURRENT_LIST_DIR}/gui_runonsites_test.cpp)

# The Reply Table window, and "Show as Table" in the pane's menu.
korvastel_gui_test(test_gui_replytable ${CMAKE_CURRENT_LIST_DIR}/gui_replytable_test.cpp)
