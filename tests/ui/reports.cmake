# The Report and Summary windows.
target_sources(tavu_ui_tests PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/reports_test.cpp
)
