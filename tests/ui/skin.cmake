# Skins. The widget-free part has its own test program; the windows are tested in tavu_ui_tests.
add_executable(tavu_skin_tests
    ${CMAKE_CURRENT_LIST_DIR}/../test_main.cpp
    ${CMAKE_CURRENT_LIST_DIR}/skin_bitmap_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/skin_file_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/skin_region_test.cpp
)
target_include_directories(tavu_skin_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(tavu_skin_tests PRIVATE tavu_skin GTest::gtest)
gtest_discover_tests(tavu_skin_tests DISCOVERY_TIMEOUT 60)


target_sources(tavu_ui_tests PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/skin_face_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/skin_menu_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/skin_test_support.h
    ${CMAKE_CURRENT_LIST_DIR}/small_time_window_test.cpp
)
# The main window on a skin (needs the skin wired into ConnectionMonitor).
target_sources(tavu_ui_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/skinned_monitor_test.cpp)
