# The control connection, command exchange and history in the real dialog,
# offscreen, against the scripted server.
korvastel_gui_test(test_gui_ftp ${CMAKE_CURRENT_LIST_DIR}/gui_ftp_test.cpp)
korvastel_gui_test(test_gui_history ${CMAKE_CURRENT_LIST_DIR}/gui_history_test.cpp)
