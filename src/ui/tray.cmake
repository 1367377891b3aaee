# The tray icons and their menus, the icon pictures, message boxes and the password dialogs.
target_sources(tavu_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/dark_dialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dark_dialog.h
    ${CMAKE_CURRENT_LIST_DIR}/icons.cpp
    ${CMAKE_CURRENT_LIST_DIR}/icons.h
    ${CMAKE_CURRENT_LIST_DIR}/password_dialogs.cpp
    ${CMAKE_CURRENT_LIST_DIR}/password_dialogs.h
    ${CMAKE_CURRENT_LIST_DIR}/qt_prompter.cpp
    ${CMAKE_CURRENT_LIST_DIR}/qt_prompter.h
    ${CMAKE_CURRENT_LIST_DIR}/system_tray.cpp
    ${CMAKE_CURRENT_LIST_DIR}/system_tray.h
    ${CMAKE_CURRENT_LIST_DIR}/tray_menus.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tray_menus.h
)
