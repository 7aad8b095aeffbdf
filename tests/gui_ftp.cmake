# The control connection, command exchange and history in the real dialog,
# offscreen, against the scripted server.
korvastel_gui_test(test_gui_ftp ${CMAKE_CURRENT_LIST_DIR}/gui_ftp_test.cpp)
korvastel_gui_test(test_gui_history ${CMAKE_CURRENT_LIST_DIR}/gui_history_test.cpp)
# Explicit FTPS in the dialog, against scripted servers and pyftpdlib's TLS
# handler (skipped where it is missing), with certificates made at test time.
korvastel_gui_test(test_gui_tls ${CMAKE_CURRENT_LIST_DIR}/gui_tls_test.cpp ${CMAKE_CURRENT_LIST_DIR}/support/TestPeers.cpp
                   ${CMAKE_CURRENT_LIST_DIR}/support/Relay.cpp)
target_compile_definitions(test_gui_tls PRIVATE KORVASTEL_PYFTPD_SERVER="${CMAKE_CURRENT_LIST_DIR}/pyftpd_server.py")

# Closing the window during an exchange once more under a real X server, where
# the close request travels the window system's queue as the user's click does.
find_path(KORVASTEL_XCB_INCLUDE_DIR xcb/xcb.h)
find_library(KORVASTEL_XCB_LIBRARY xcb)
find_program(KORVASTEL_XVFB_RUN xvfb-run)
if(KORVASTEL_XCB_INCLUDE_DIR AND KORVASTEL_XCB_LIBRARY AND KORVASTEL_XVFB_RUN)
  target_compile_definitions(test_gui_ftp PRIVATE KORVASTEL_HAVE_XCB)
  target_include_directories(test_gui_ftp PRIVATE ${KORVASTEL_XCB_INCLUDE_DIR})
  target_link_libraries(test_gui_ftp PRIVATE ${KORVASTEL_XCB_LIBRARY})
  add_test(NAME Connection.ClosingTheWindowUnderX11
           COMMAND ${KORVASTEL_XVFB_RUN} -a $<TARGET_FILE:test_gui_ftp> --gtest_filter=Connection.ClosingTheWindow*)
  # Alone on the machine: under load the X server may pass the close on too late for the test.
  set_tests_properties(Connection.ClosingTheWindowUnderX11 PROPERTIES LABELS gui RUN_SERIAL TRUE TIMEOUT 120
                       ENVIRONMENT QT_QPA_PLATFORM=xcb)
else()
  message(STATUS "xcb or xvfb-run missing: the window-system close test runs offscreen only")
endif()
