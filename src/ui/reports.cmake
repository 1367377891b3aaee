# The Report and Summary windows.
target_sources(tavu_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/report_dlg.cpp
    ${CMAKE_CURRENT_LIST_DIR}/report_dlg.h
    ${CMAKE_CURRENT_LIST_DIR}/summary_dlg.cpp
    ${CMAKE_CURRENT_LIST_DIR}/summary_dlg.h
)
