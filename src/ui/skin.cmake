# Skins: the description file, the pictures, the window's shape and the built-in menu's layout
# need no widgets and live in tavu_skin; the skinned face, the built-in menu and the floating
# elapsed-time window are windows.
add_library(tavu_skin STATIC
    ${CMAKE_CURRENT_LIST_DIR}/skin_bitmap.cpp
    ${CMAKE_CURRENT_LIST_DIR}/skin_file.cpp
    ${CMAKE_CURRENT_LIST_DIR}/skin_menu_layout.cpp
    ${CMAKE_CURRENT_LIST_DIR}/skin_region.cpp
)
target_link_libraries(tavu_skin PUBLIC tavu_core Qt6::Gui)
target_include_directories(tavu_skin PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
# A program run from the build tree finds the skins of the source tree when none lie beside it.
target_compile_definitions(tavu_skin PRIVATE
    TAVU_SOURCE_SKINS_DIR="${PROJECT_SOURCE_DIR}/res/Skins")

target_link_libraries(tavu_ui PUBLIC tavu_skin)
target_sources(tavu_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/dialog_units.h
    ${CMAKE_CURRENT_LIST_DIR}/skin_face.cpp
    ${CMAKE_CURRENT_LIST_DIR}/skin_face.h
    ${CMAKE_CURRENT_LIST_DIR}/skin_menu.cpp
    ${CMAKE_CURRENT_LIST_DIR}/skin_menu.h
    ${CMAKE_CURRENT_LIST_DIR}/small_time_window.cpp
    ${CMAKE_CURRENT_LIST_DIR}/small_time_window.h
)

# The skins go beside the program, where it looks for them first.
add_custom_target(tavu_skins ALL
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/res/Skins
            $<TARGET_FILE_DIR:tavu>/Skins
    COMMENT "Copying the skins beside the program")

# The program that draws the skins of res/Skins; `ninja skins` draws them again.
add_executable(tavu_skin_maker EXCLUDE_FROM_ALL ${PROJECT_SOURCE_DIR}/tools/skin_maker/skin_maker.cpp)
target_link_libraries(tavu_skin_maker PRIVATE Qt6::Gui)
add_custom_target(skins
    COMMAND tavu_skin_maker ${PROJECT_SOURCE_DIR}/res/Skins
    COMMENT "Drawing the skins into res/Skins")
