# Remote access and dial-up counters on Linux: point-to-point interfaces read over route netlink.
target_sources(tavu_platform PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/linux_counters.cpp
    ${CMAKE_CURRENT_LIST_DIR}/linux_netlink.cpp
    ${CMAKE_CURRENT_LIST_DIR}/linux_remote_access.cpp
)
