# The tray icons and their menus, the icon pictures, message boxes and the password dialogs.
target_sources(tavu_ui_tests PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/password_dialogs_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/qt_prompter_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tray_test.cpp
)
