# sources of this part: target_sources(tavu_platform PRIVATE ...)
target_sources(tavu_platform PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/ras_errors.cpp
    ${CMAKE_CURRENT_LIST_DIR}/simulated_remote_access.cpp
)
