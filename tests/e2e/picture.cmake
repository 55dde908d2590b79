# The viewer's paused picture against the stored reference (regenerate: scripts/regenerate_picture.sh).
skyloom_e2e_test(picture_e2e_tests ${CMAKE_CURRENT_LIST_DIR}/picture_e2e.cpp)
target_link_libraries(picture_e2e_tests PRIVATE PNG::PNG)
