# The animated map in the real viewer.
skyloom_e2e_test(map_e2e_tests ${CMAKE_CURRENT_LIST_DIR}/map_scene_e2e.cpp)
