target_sources(tavu_platform_tests PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/pcm_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/pulse_sound_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/shell_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/single_instance_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/startup_entry_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/system_info_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/wav_builder.h
)
