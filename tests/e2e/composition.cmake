# The whole interactive viewer: keys, menus, presets, time bar, read-out panel, exit gesture, resize.
skyloom_e2e_test(composition_e2e_tests ${CMAKE_CURRENT_LIST_DIR}/composition_input_e2e.cpp)
# Menu row geometry, to click the row meant.
target_link_libraries(composition_e2e_tests PRIVATE skyloom_ui)
