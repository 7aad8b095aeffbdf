# The session on its worker thread, its owner and the runner on several sites, against the scripted server.
add_executable(session_tests ${CMAKE_CURRENT_LIST_DIR}/session_test.cpp ${CMAKE_CURRENT_LIST_DIR}/sessionowner_test.cpp
                             ${CMAKE_CURRENT_LIST_DIR}/replytable_test.cpp ${CMAKE_CURRENT_LIST_DIR}/sessionlog_test.cpp)
target_include_directories(session_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/support)
target_link_libraries(session_tests PRIVATE session siteserver test_support GTest::gtest_main)
korvastel_tsan_test(session_tests)

add_executable(sitelist_tests ${CMAKE_CURRENT_LIST_DIR}/sitelist_test.cpp)
target_link_libraries(sitelist_tests PRIVATE test_support session GTest::gtest_main)
korvastel_tsan_test(sitelist_tests)

# Site passwords in a real Secret Service (GNOME Keyring on a private bus).
find_program(KORVASTEL_KEYRING_DAEMON gnome-keyring-daemon)
if(KORVASTEL_KEYRING_DAEMON)
  find_package(Qt6 REQUIRED COMPONENTS Core)
  add_executable(keyring_tests ${CMAKE_CURRENT_LIST_DIR}/keyring_test.cpp)
  target_link_libraries(keyring_tests PRIVATE platform_keyring Qt6::Core qt6keychain GTest::gtest)
  add_test(NAME Keyring.WithGnomeKeyring COMMAND ${CMAKE_CURRENT_LIST_DIR}/with_keyring.sh $<TARGET_FILE:keyring_tests>)
  # korvastel-cli taking a saved site's password from the keyring.
  add_test(NAME Keyring.CliTakesASavedSitesPassword
           COMMAND ${CMAKE_CURRENT_LIST_DIR}/with_keyring.sh ${CMAKE_CURRENT_LIST_DIR}/cli_keyring_check.sh
                   $<TARGET_FILE:korvastel-cli> $<TARGET_FILE:korvastel-keyring> $<TARGET_FILE:korvastel-siteserver>)
  set_tests_properties(Keyring.WithGnomeKeyring Keyring.CliTakesASavedSitesPassword
                       PROPERTIES LABELS integration TIMEOUT 60)
else()
  message(STATUS "gnome-keyring-daemon not found: the keyring test is left out")
endif()
