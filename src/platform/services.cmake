# System information, sound, the desktop's opener, the autostart entry and the single-instance
# channel.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
# Sounds go to the desktop's sound server through its simple blocking client library.
pkg_check_modules(PULSE_SIMPLE REQUIRED IMPORTED_TARGET libpulse-simple)

target_sources(tavu_platform PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/fakes.h
    ${CMAKE_CURRENT_LIST_DIR}/pcm.cpp
    ${CMAKE_CURRENT_LIST_DIR}/pcm.h
    ${CMAKE_CURRENT_LIST_DIR}/pulse_sound.cpp
    ${CMAKE_CURRENT_LIST_DIR}/pulse_sound.h
    ${CMAKE_CURRENT_LIST_DIR}/shell.cpp
    ${CMAKE_CURRENT_LIST_DIR}/shell.h
    ${CMAKE_CURRENT_LIST_DIR}/single_instance.cpp
    ${CMAKE_CURRENT_LIST_DIR}/single_instance.h
    ${CMAKE_CURRENT_LIST_DIR}/sound.h
    ${CMAKE_CURRENT_LIST_DIR}/startup_entry.cpp
    ${CMAKE_CURRENT_LIST_DIR}/startup_entry.h
    ${CMAKE_CURRENT_LIST_DIR}/system_info.cpp
    ${CMAKE_CURRENT_LIST_DIR}/system_info.h
)
target_link_libraries(tavu_platform PRIVATE PkgConfig::PULSE_SIMPLE Threads::Threads)
