# Draws the bundled texton strips and logo; its output is committed in data/.
add_executable(skyloom-make-textures ${CMAKE_CURRENT_LIST_DIR}/make_textures.cpp)
target_link_libraries(skyloom-make-textures PRIVATE PNG::PNG)
