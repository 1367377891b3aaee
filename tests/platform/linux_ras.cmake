# Linux remote access and counters: parsing against fake trees, the rest against the kernel in
# private network namespaces (skipped without root).
target_sources(tavu_platform_tests PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/linux_counters_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/linux_remote_access_test.cpp
)
