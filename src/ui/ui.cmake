target_sources(tavu_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/../app/tavu_app.cpp
    ${CMAKE_CURRENT_LIST_DIR}/connection_monitor.cpp
)
