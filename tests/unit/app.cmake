# The application shell's display-free rules: command line, work-area fit, pacing, refresh script,
# file check, capture rectangle.
skyloom_test(app_tests LABEL unit
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/app_command_line.cpp
    ${CMAKE_CURRENT_LIST_DIR}/app_window_fit.cpp
    ${CMAKE_CURRENT_LIST_DIR}/app_frame_rules.cpp
    ${CMAKE_CURRENT_LIST_DIR}/app_update_script.cpp
    ${CMAKE_CURRENT_LIST_DIR}/app_frame_writer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/app_frames_to_video.cpp
    ${CMAKE_CURRENT_LIST_DIR}/app_input.cpp
    ${CMAKE_CURRENT_LIST_DIR}/app_refresh.cpp
  LIBS skyloom_app)
