target_sources(tavu_platform PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/ras_errors.cpp
)
