# Live data and video: reloads on a new forecast file, the Update button and "&", capture keys and
# their TIFF frames, the frames-to-video script on recorded frames.
skyloom_e2e_test(refresh_e2e_tests ${CMAKE_CURRENT_LIST_DIR}/refresh_reload_e2e.cpp
                 ${CMAKE_CURRENT_LIST_DIR}/refresh_capture_e2e.cpp)
