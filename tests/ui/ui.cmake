target_sources(tavu_ui_tests PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/connection_monitor_test.cpp
)
