# What the controls hold reaching the wire, and the history store failing.
korvastel_gui_test(test_gui_dataexchange ${CMAKE_CURRENT_LIST_DIR}/gui_dataexchange_test.cpp)
