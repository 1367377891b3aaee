# tests of this part: target_sources(tavu_platform_tests PRIVATE ...)
target_sources(tavu_platform_tests PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/simulated_remote_access_test.cpp
)
# The sample script shipped with the program must stay loadable.
target_compile_definitions(tavu_platform_tests PRIVATE
    TAVU_SIMULATE_DEMO="${PROJECT_SOURCE_DIR}/res/simulate/demo.ini")
